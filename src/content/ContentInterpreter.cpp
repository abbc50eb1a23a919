#include "ContentInterpreter.h"

#include "Interpreter_p.h"

void AttachInterpreter(TPdfDocument& doc) {
    doc.interpreter = [](TPdfDocument& target, const uint8_t* content, int32_t length, bool pumpMessages,
                         int32_t pageNo) {
        TContentInterpreter interpreter(target, pageNo);
        interpreter.Run(content, length, pumpMessages);
    };
}
