#include "Dib.h"

TDib OpenDib(const uint8_t*, size_t) { return TDib{}; }
TDib newdib(int32_t, int32_t, int32_t) { return TDib{}; }
void deldib(TDib& dib) { dib = TDib{}; }
