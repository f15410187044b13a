#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// A grammar's symbol table, built at compile time from its names: a
// big-endian 16-bit count, then each name followed by its NUL.
template <size_t N>
constexpr size_t CatalogSymbolTableSize(const std::array<std::string_view, N>& names) {
  size_t size = 2;
  for (std::string_view name : names) {
    size += name.size() + 1;
  }
  return size;
}

template <size_t Size, size_t N>
constexpr std::array<char, Size> CatalogSymbolTable(const std::array<std::string_view, N>& names) {
  static_assert(N <= 0xFFFF, "a symbol table counts at most 65535 names");
  std::array<char, Size> table{};
  table[0] = static_cast<char>((N >> 8) & 0xFF);
  table[1] = static_cast<char>(N & 0xFF);
  size_t at = 2;
  for (std::string_view name : names) {
    for (char c : name) {
      table[at++] = c;
    }
    table[at++] = '\0';
  }
  return table;
}
