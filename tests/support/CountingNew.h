// Counts the allocations of a test or benchmark program. Linking CountingNew.cpp into a program
// replaces its global operator new and delete; a program that does not link it must not call this.
#pragma once

namespace testing_support {

// Allocations through the global operator new (single and array forms) since the program began.
long allocationCount();

}  // namespace testing_support
