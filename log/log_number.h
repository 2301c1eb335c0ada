// Which numbered file a run writes: the choice of a number among the
// hundred names, and the taking of the file that the choice found.
#ifndef QXZ_LOG_LOG_NUMBER_H
#define QXZ_LOG_LOG_NUMBER_H

#include <bitset>
#include <cstdint>
#include <string>

#include "log/log_texts.h"
#include "platform/win32.h"

namespace qxz::log
{

constexpr uint32_t kNumberCount = kLogNumberCount;

// The numbers that a choice leaves out.
using NumberSet = std::bitset<kNumberCount>;

// Directory, base, the number as two digits ("%2.2d") and extension.
std::string NumberedName(const std::string& sDirectory, const std::string& sBase, uint32_t dwNumber,
                         const std::string& sExtension);

// What the choice of a number saw under it.
enum NumberSeen
{
    NumberSeen_NotLooked, // the name as given, or one that carries its own number
    NumberSeen_Nothing,   // taken only by a file that this run makes
    NumberSeen_File,      // an ordinary file, emptied only while it is still the one seen
};

struct NumberChoice
{
    uint32_t dwNumber = 0;
    NumberSeen eSeen = NumberSeen_NotLooked;
    BY_HANDLE_FILE_INFORMATION tSeen = {};
};

// The first number (not passed over) that has no file, else the least
// recently used ordinary file: the later of its last access and last write
// is its last use, and on equal times the lower number is chosen. A name
// that ends in two digits goes on with the next number, no file examined.
// False for an empty name or base, and when every number is passed over.
bool ChooseNumber(const std::string& sFileName, const NumberSet& passedOver, NumberChoice* ptChoice);

// How an attempt to open the log's file for writing ended.
enum OpenResult
{
    OpenResult_Opened,
    OpenResult_Refused, // no file of this run's to write: never written, the next number is tried
    OpenResult_Failed,
};

// Opens the file that the choice names for writing, under this run's owner
// lock, and empties it unless fAppend: a file that this run makes where the
// choice saw nothing; the very file seen, unchanged, where it saw one.
OpenResult OpenLogFile(const std::string& sFileName, bool fAppend, const NumberChoice& tChoice, HANDLE* phFile);

} // namespace qxz::log

#endif // QXZ_LOG_LOG_NUMBER_H
