#include "ContentInterpreter.h"

#include "Interpreter_p.h"

void InterpretPage(TPdfDocument& doc, const uint8_t* content, int32_t length, bool pumpMessages, int32_t pageNo) {
    TContentInterpreter interpreter(doc, pageNo);
    interpreter.Run(content, length, pumpMessages);
}
