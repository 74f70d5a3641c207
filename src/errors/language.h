#pragma once
#include <string>

// Every localised text is chosen once, when an error is built, by the language
// of the thread that builds it: Russian when the thread locale's primary
// language is Russian (0x19), English otherwise.
bool IsRussianThread();

// "text %d"-style helper for the message tables: the text with the number in
// place of its one "%d".
std::u16string WithNumber(std::u16string_view pattern, long long number);
