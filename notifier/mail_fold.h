#pragma once
// Folding of mail bodies to 80 columns, as "fold -s -w 80" folds: a line
// wider than the limit is broken after the last blank within its first 80
// columns, or at column 80 when it has none; a tab advances to the next
// multiple of 8. Only bodies are folded: a folded header line would start
// a new header.

#include <cstddef>
#include <string>

constexpr size_t kMailFoldWidth = 80;

// `text` with every line folded; line feeds inside are kept, and a text
// without a final line feed gets none.
std::string FoldMailBody(const std::string& text, size_t width = kMailFoldWidth);
