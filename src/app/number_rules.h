#pragma once
// The rules for the numeric option values (track and disc numbers).
#include <cstdint>
#include <string>

namespace qv {

// An unsigned decimal number 0..65535 in the manner of an unsigned 32-bit
// conversion (leading white space and a sign allowed, "-" wraps modulo 2^32).
// `value` is written only on success.
bool parse_u16(const std::string& text, uint16_t& value);

// "n" sets only `number`; "n/total" sets both. Nothing is written on failure.
bool parse_number_pair(const std::string& text, uint16_t& number, uint16_t& total);

// A thread count: a whole decimal number from 0 to 256, digits only.
bool parse_thread_count(const std::string& text, unsigned& value);

}  // namespace qv
