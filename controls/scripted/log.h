// The scripted control's record of calls: appended to the file named by
// SIGNCTL_LOG (nothing is recorded without it), one line per call, flushed
// at once so that a run that dies still leaves what happened before.  A
// text is written as its code units in lower-case hex inside brackets,
// "[0041 00e9]", "[]" for an empty one and "null" for a null pointer.
#ifndef SIGNCTL_CONTROLS_SCRIPTED_LOG_H
#define SIGNCTL_CONTROLS_SCRIPTED_LOG_H

#include <string>

#include "platform/platform.h"

// The bracketed form of text.
std::string UnitsForLog(const OLECHAR* text);

// Appends line and a line feed to the log.
void LogCall(const std::string& line);

#endif
