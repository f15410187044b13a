#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/ui/dialog/XfDialogModel.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "platform/text/XpString.h"

// How the terminal back end writes what it shows and reads what is typed.
// Pure functions, so they are tested without a terminal.
namespace XfUiTerminalFormat {

// Each character cell of a progress bar counts as this many pixels of the
// bar's client area, and the bar is this many pixels high.
inline constexpr int32_t kCellPixels = 8;
inline constexpr int32_t kBarPixelsHigh = 15;
inline constexpr int32_t kBarCells = 30;
// A narrow terminal shortens the bar down to this many cells before it
// shortens the text beside it.
inline constexpr int32_t kMinBarCells = 10;
// Assumed when the terminal does not tell its width.
inline constexpr int32_t kDefaultColumns = 80;
// What a bar line holds besides its cells: "[", "] " and "100 %".
inline constexpr int32_t kBarTextWidth = 8;

// "\n[Caption]\nText\nYes (y) / No (n) [No] > ".
std::string BoxPrompt(const XpString& caption, const XpString& text, const XfMessageBoxStyle& style);
// The answer a typed line gives: an empty line the default, otherwise a
// button's initial letter or name (any case). Nothing for anything else.
std::optional<int32_t> ParseBoxAnswer(const XfMessageBoxStyle& style, std::string_view line);
// "Please answer y, n (Enter: No).\n".
std::string BoxRetry(const XfMessageBoxStyle& style);

// A dialog as a text block: the title, then every visible item, the ones a
// person acts on numbered from 1 (their control ids in numbers, in order).
// A static text and the static that labels it share one line ("Folders: 2"),
// where the first of the two stands; pictures get no line.
struct FormBlock {
  std::string text;
  std::vector<int32_t> numbers;
};
// A progress bar's line fits a terminal of columns columns (0: not known).
// withoutStatus leaves out the static texts and the bars, which then show
// on the status line (StatusTexts).
FormBlock RenderForm(const XfDialogModel& model, int32_t acceptCommand, int32_t columns = 0,
                     bool withoutStatus = false);

// The texts of a progress dialog's status line, in the order of the dialog:
// each visible, non-empty static text with its label, except a bare
// percentage ("40%"), which the bar shows already.
std::vector<std::string> StatusTexts(const XfDialogModel& model);
// "40%", "7 %": a number and a percent sign, nothing else.
bool IsPercentText(std::string_view text);
// The cells of a bar that shares its line with texts (StatusTexts) and a
// suffix; as BarCellsFor.
int32_t StatusBarCells(int32_t columns, const std::vector<std::string>& texts, std::string_view suffix);
// The status line: barLine (may be empty), the texts two spaces apart, and
// the suffix, within the last column: the texts are cut first (ending in
// "..."), then the suffix goes, then the bar line is cut. Counts UTF-8
// characters, one column each.
std::string StatusLine(const std::string& barLine, const std::vector<std::string>& texts,
                       std::string_view suffix, int32_t columns);
// "> ".
std::string FormPrompt();

// A typed line for a dialog: a number, or a number and text; an empty line
// accepts.
struct FormInput {
  enum class Kind { kAccept, kControl, kInvalid };
  Kind kind = Kind::kInvalid;
  int32_t id = 0;
  bool hasText = false;
  XpString text;
};
FormInput ParseFormLine(const std::vector<int32_t>& numbers, std::string_view line);

// "\n[Title]\nCaption\n" and FolderAsk.
std::string FolderPrompt(const XpString& title, const XpString& caption, const XpString& initialPath);
// The question for a path. A default shows in brackets only because Enter
// takes it: "Folder [/data] (Enter takes it, - cancels): "; without one,
// "Folder (empty line cancels): ".
std::string FolderAsk(const XpString& initialPath);
// A typed line for the folder question: the path it picks, or nothing when
// it cancels.
std::optional<XpString> ParseFolderAnswer(std::string_view line, const XpString& initialPath);

// The bar as character cells: "[######........]  40 %", or the marquee
// blocks ("[   #####      ]") at marqueePosition when a marquee runs.
std::string ProgressLine(const SfProgressCtrl& bar, int32_t cells, int32_t marqueePosition);
// The cells a bar gets in a terminal of columns columns (kDefaultColumns
// when not above 0) when extra characters share its line, so that the
// line stays off the last column: kBarCells at 42 columns and more, fewer
// below, never fewer than kMinBarCells.
int32_t BarCellsFor(int32_t columns, size_t extra);
// line followed by suffix when both fit before the last column; else line
// alone, cut to fit when it is still too long. A line of this never wraps.
std::string FitToWidth(const std::string& line, std::string_view suffix, int32_t columns);

// The bar's position in whole percent of its range.
int32_t ProgressPercent(const SfProgressCtrl& bar);

}  // namespace XfUiTerminalFormat
