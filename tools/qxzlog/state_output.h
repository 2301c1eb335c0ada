// The registry state as text for people and JSON for scripts.
#ifndef QXZ_TOOLS_QXZLOG_STATE_OUTPUT_H
#define QXZ_TOOLS_QXZLOG_STATE_OUTPUT_H

#include <cstdio>
#include <string>

#include "tools/qxzlog/state.h"

namespace qxz::qxzlog
{

// The Glue key's path as a person finds it in the registry editor.
std::string GlueKeyName();

// A value's data as shown: a string in quotes, a number, or bytes in hex.
std::string ValueDataText(const ValueState& tValue);

// "exists", "missing" or "" for a value that names no file.
const char* ExistsText(Exists eExists);

// A Win32 code with its name and meaning where known.
std::string CodeDescription(LONG lCode);

void PrintStateText(std::FILE* pOut, const GlueState& tState);
void PrintStateJson(std::FILE* pOut, const GlueState& tState);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_STATE_OUTPUT_H
