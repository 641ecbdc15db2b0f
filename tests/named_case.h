// Table rows print as their name, so that test lists and failure messages read as
// sentences instead of byte dumps. A test file brings the printer into the namespace
// of its case structs with `using named_case::operator<<;`, where gtest finds it.
#pragma once

#include <ostream>
#include <type_traits>

namespace named_case {
template <typename Case, typename = std::enable_if_t<std::is_same_v<decltype(Case::name), const char*>>>
std::ostream& operator<<(std::ostream& os, const Case& row)
{
    return os << row.name;
}
}  // namespace named_case
