// The check idiom of every module: a failed condition is logged once, where
// it fails, as "[<source file>, Line <n>]: Error --> <condition as written>".
//
// The condition is written once, in the code, and turned into text by the
// preprocessor, so the log shows exactly what the source says. A module
// defines its relative source path before using the macro:
//
//   static const char kSourcePath[] = "..\\pin_main.cpp";
//   if (QX_FAILS(sPath.empty())) return false;
#ifndef QXZ_LOG_LOG_CHECK_H
#define QXZ_LOG_LOG_CHECK_H

#include "log/log_file.h"
#include "log/log_texts.h"

// True when the condition holds, after logging it as a failed check.
#define QX_FAILS(condition)                                                                                            \
    ((condition) ? (g_Log.LogError(0, kSourcePath, __LINE__, kLogCheckFormat, #condition), true) : false)

#endif // QXZ_LOG_LOG_CHECK_H
