#include "ContentInterpreter.h"

void AttachInterpreter(TPdfDocument& doc) { doc.interpreter = nullptr; }
