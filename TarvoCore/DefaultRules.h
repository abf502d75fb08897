#pragma once

#include "Date.h"
#include "RuleModel.h"

#include <vector>

// The six rules a first start begins with, and what "restore defaults" puts back.
namespace tarvo::DefaultRules {

// 1970-01-01 00:00:00 UTC, the creation time all six share, so that among them
// list order alone breaks ties.
Date seedDate();

// A fresh list on every call, with fixed identifiers: a restored default rule
// keeps the identifier it had.
std::vector<Rule> all();

} // namespace tarvo::DefaultRules
