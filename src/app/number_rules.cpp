// Numeric option values: a 32-bit unsigned decimal conversion limited to
// 16 bits, alone or as a number/total pair.
#include "app/number_rules.h"

namespace qv {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool parse_u16(const std::string& text, uint16_t& value) {
    size_t pos = 0;
    while (pos < text.size() && is_space(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const size_t first_digit = pos;
    uint32_t result = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        const uint32_t digit = static_cast<uint32_t>(text[pos] - '0');
        if (result > (UINT32_MAX - digit) / 10) {
            return false;
        }
        result = result * 10 + digit;
        ++pos;
    }
    if (pos == first_digit || pos != text.size()) {
        return false;
    }
    if (negative) {
        result = 0u - result;
    }
    if (result > 65535) {
        return false;
    }
    value = static_cast<uint16_t>(result);
    return true;
}

bool parse_number_pair(const std::string& text, uint16_t& number, uint16_t& total) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) {
        return parse_u16(text, number);
    }
    const std::string before = text.substr(0, slash);
    const std::string after = text.substr(slash + 1);
    uint16_t parsed_number = 0;
    uint16_t parsed_total = 0;
    if (before.empty() || after.empty() || !parse_u16(before, parsed_number) ||
        !parse_u16(after, parsed_total)) {
        return false;
    }
    number = parsed_number;
    total = parsed_total;
    return true;
}

bool parse_thread_count(const std::string& text, unsigned& value) {
    constexpr unsigned max_threads = 256;
    if (text.empty() || text.size() > 4) {
        return false;
    }
    unsigned number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number > max_threads) {
        return false;
    }
    value = number;
    return true;
}

}  // namespace qv
