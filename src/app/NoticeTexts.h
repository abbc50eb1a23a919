// What the core tells while it reads, draws and writes, in the user's
// words: the window's status memo and message boxes and glyphwell-cli's
// stderr take their sentences from here.
#pragma once

#include <string>

#include "Notices.h"
#include "ReplacementRules.h"

std::string NoticeText(const TNotice& notice);
// Whether the window shows the notice in a message box rather than as a
// line of its status memo (glyphwell-cli marks it "Fehler").
bool NoticeIsError(const TNotice& notice);

// Why a replacement rule or a rules file is refused, without the line.
std::string RuleErrorText(const TRuleError& error);

// "3 Seiten gefunden..." for the memo, "Lese Seite 3..." for the label.
std::string ProgressText(const TProgress& progress);
// Whether the step changes the progress window's one-line label rather
// than adding a line to its memo.
bool ProgressIsLabel(const TProgress& progress);
