#include "FskNumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace fsknumber {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'z') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'Z') {
    return c - 'A' + 10;
  }
  return 99;
}

double FromRadix(std::string_view digits, int radix) {
  if (digits.empty()) {
    return kNaN;
  }
  double value = 0;
  for (char c : digits) {
    int digit = DigitValue(c);
    if (digit >= radix) {
      return kNaN;
    }
    value = value * radix + digit;
  }
  return value;
}

size_t CountDigits(std::string_view text, size_t at) {
  size_t end = at;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
    ++end;
  }
  return end - at;
}

// Whether text is [+-]? (digits [. digits*] | . digits) ([eE] [+-]? digits)?
bool IsDecimal(std::string_view text) {
  size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    ++at;
  }
  size_t whole = CountDigits(text, at);
  at += whole;
  size_t fraction = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    fraction = CountDigits(text, at);
    at += fraction;
  }
  if (whole == 0 && fraction == 0) {
    return false;
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
      ++at;
    }
    size_t exponent = CountDigits(text, at);
    if (exponent == 0) {
      return false;
    }
    at += exponent;
  }
  return at == text.size();
}

double FromDecimal(std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    text.remove_prefix(1);
  }
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    size_t exponentAt = text.find_first_of("eE");
    bool tiny = exponentAt != std::string_view::npos && exponentAt + 1 < text.size() &&
                text[exponentAt + 1] == '-';
    value = tiny ? 0.0 : kInfinity;
  }
  return negative ? -value : value;
}

}  // namespace

double FromText(std::string_view text) {
  text = Trim(text);
  if (text.empty()) {
    return 0;
  }
  if (text == "Infinity" || text == "+Infinity") {
    return kInfinity;
  }
  if (text == "-Infinity") {
    return -kInfinity;
  }
  if (text.size() > 2 && text[0] == '0') {
    switch (text[1]) {
      case 'x':
      case 'X':
        return FromRadix(text.substr(2), 16);
      case 'o':
      case 'O':
        return FromRadix(text.substr(2), 8);
      case 'b':
      case 'B':
        return FromRadix(text.substr(2), 2);
      default:
        break;
    }
  }
  return IsDecimal(text) ? FromDecimal(text) : kNaN;
}

std::string ToText(double number) {
  if (std::isnan(number)) {
    return "NaN";
  }
  if (number == 0) {
    return "0";
  }
  if (number < 0) {
    return "-" + ToText(-number);
  }
  if (std::isinf(number)) {
    return "Infinity";
  }
  // The shortest digits, from "d.ddde+XX".
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::scientific);
  (void)error;
  std::string_view scientific(buffer, static_cast<size_t>(end - buffer));
  size_t exponentAt = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, exponentAt)) {
    if (c != '.') {
      digits += c;
    }
  }
  int exponent = std::atoi(std::string(scientific.substr(exponentAt + 1)).c_str());
  int k = static_cast<int>(digits.size());
  int n = exponent + 1;

  if (k <= n && n <= 21) {
    return digits + std::string(static_cast<size_t>(n - k), '0');
  }
  if (0 < n && n <= 21) {
    return digits.substr(0, static_cast<size_t>(n)) + "." + digits.substr(static_cast<size_t>(n));
  }
  if (-6 < n && n <= 0) {
    return "0." + std::string(static_cast<size_t>(-n), '0') + digits;
  }
  std::string exponentText = (n - 1 < 0 ? "-" : "+") + std::to_string(std::abs(n - 1));
  if (k == 1) {
    return digits + "e" + exponentText;
  }
  return digits.substr(0, 1) + "." + digits.substr(1) + "e" + exponentText;
}

}  // namespace fsknumber
