#pragma once
// What the history tells the user, in CP932.
#include <string>

#include "core/history/Journal.h"
#include "core/history/Store.h"

namespace selvane {

// The native path in CP932, as far as it goes.
std::string ShownPath(const std::string& native);

// Why the store could not be used, in a few words.
std::string ReasonOf(const sql::Status& status);

// A write into the store as the command sees it.
RecordResult RecordResultOf(const HistoryStore::Written& written, const std::string& store);

// The refusal of 元に戻す when the store cannot be read.
std::string UnreadableHistory(const std::string& store, const std::string& detail);
std::string HistoryPutAside(const std::string& store, const std::string& aside);

// A record of a run that could not be written while it ran.
std::string RecordLost(const sql::Status& status, const std::string& store);

std::string UnnamablePath();

}  // namespace selvane
