// Inline images ("BI" dictionary "ID" data "EI") in a content stream. Their
// data are raw bytes that the lexer must not read as tokens: binary bytes or
// ASCII85 digits read as a "(" would swallow the text that follows.
#pragma once

#include <cstdint>

// Where the content goes on after an inline image whose "BI" ends before
// `pos`: the position just behind its "EI", never beyond `length`; `length`
// when the image has no "ID" or no "EI" that can be trusted.
//
// Unfiltered data are as long as /W, /H, /BPC and the colour space say; an
// "EI" must follow them. Other data end at the first "EI" with white space
// before and behind it that is followed by what reads as content operators
// (a filter's output may hold "EI" anywhere); ASCII85 and hexadecimal data
// end at their own end marker.
int32_t InlineImageEnd(const uint8_t* content, int32_t length, int32_t pos);
