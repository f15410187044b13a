#include "framework/ui/backend/XfUiTerminalFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "platform/text/XpStringA.h"

namespace XfUiTerminalFormat {

namespace {

constexpr int32_t kPercentWhole = 100;
// Cancels the folder question when Enter would take a default.
constexpr const char* kFolderCancelWord = "-";

std::string Trim(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) {
    ++first;
  }
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) {
    --last;
  }
  return std::string(text.substr(first, last - first));
}

std::string Lower(std::string text) {
  for (char& ch : text) {
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  return text;
}

// The width of a line may reach one less than the terminal's, so the cursor
// never stands in the last column, where some terminals wrap at once.
size_t UsableWidth(int32_t columns) {
  const int32_t width = columns > 0 ? columns : kDefaultColumns;
  return static_cast<size_t>(std::max(width - 1, 1));
}

std::string ItemText(const XfDialogItem& item, int32_t number, int32_t acceptCommand, int32_t columns) {
  const std::string label = number > 0 ? "  " + std::to_string(number) + ") " : "     ";
  std::string line;
  switch (item.Kind()) {
    case XfItemKind::kStatic:
      line = label + Utf8(item.Text());
      break;
    case XfItemKind::kEdit:
      line = label + "[" + Utf8(item.Text()) + "]";
      break;
    case XfItemKind::kCheckBox:
      line = label + (item.IsChecked() ? "[x] " : "[ ] ") + Utf8(item.Text());
      break;
    case XfItemKind::kRadio:
      line = label + (item.IsChecked() ? "(*) " : "( ) ") + Utf8(item.Text());
      break;
    case XfItemKind::kButton:
      line = label + "<" + Utf8(item.Text()) + ">";
      if (item.Id() == acceptCommand) {
        line += " (Enter)";
      }
      break;
    case XfItemKind::kList:
      line = label + Utf8(item.Text());
      for (const XpString& entry : item.Lines()) {
        line += "\n       " + Utf8(entry);
      }
      break;
    case XfItemKind::kProgress:
      line = FitToWidth(label + ProgressLine(*item.Progress(), BarCellsFor(columns, label.size()),
                                             item.Progress()->MarqueePosition()),
                        "", columns);
      break;
    case XfItemKind::kPicture:
      line = label + "(picture " + std::to_string(item.BitmapId()) + ", " +
             std::to_string(item.PictureArea().width) + "x" + std::to_string(item.PictureArea().height) + ")";
      break;
  }
  if (item.TakesInput() && !item.IsEnabled()) {
    line += " (unavailable)";
  }
  return line + "\n";
}

}  // namespace

std::string Utf8(const XpString& text) { return std::string(text.ToMultiByte().View()); }

std::string BoxPrompt(const XpString& caption, const XpString& text, const XfMessageBoxStyle& style) {
  std::string prompt = "\n[" + Utf8(caption) + "]\n" + Utf8(text) + "\n";
  std::string choices;
  for (int32_t answer : style.Buttons()) {
    choices += choices.empty() ? "" : " / ";
    choices += std::string(XfMessageBoxStyle::ButtonName(answer)) + " (" + XfMessageBoxStyle::ButtonLetter(answer) + ")";
  }
  return prompt + choices + " [" + XfMessageBoxStyle::ButtonName(style.DefaultAnswer()) + "] > ";
}

std::optional<int32_t> ParseBoxAnswer(const XfMessageBoxStyle& style, std::string_view line) {
  const std::string word = Lower(Trim(line));
  if (word.empty()) {
    return style.DefaultAnswer();
  }
  for (int32_t answer : style.Buttons()) {
    const bool byLetter = word.size() == 1 && word[0] == XfMessageBoxStyle::ButtonLetter(answer);
    if (byLetter || word == Lower(XfMessageBoxStyle::ButtonName(answer))) {
      return answer;
    }
  }
  return std::nullopt;
}

std::string BoxRetry(const XfMessageBoxStyle& style) {
  std::string letters;
  for (int32_t answer : style.Buttons()) {
    letters += letters.empty() ? "" : ", ";
    letters += XfMessageBoxStyle::ButtonLetter(answer);
  }
  return std::string("Please answer ") + letters + " (Enter: " + XfMessageBoxStyle::ButtonName(style.DefaultAnswer()) +
         ").\n";
}

FormBlock RenderForm(const XfDialogModel& model, int32_t acceptCommand, int32_t columns) {
  FormBlock block;
  block.text = "\n== " + Utf8(model.Title()) + " ==\n";
  for (const auto& item : model.Items()) {
    const bool blank = item->Kind() == XfItemKind::kStatic && item->Text().IsEmpty();
    if (!item->IsVisible() || blank) {
      continue;
    }
    int32_t number = 0;
    if (item->TakesInput()) {
      block.numbers.push_back(item->Id());
      number = static_cast<int32_t>(block.numbers.size());
    }
    block.text += ItemText(*item, number, acceptCommand, columns);
  }
  block.text += "Type a number, or a number and text.\n";
  return block;
}

std::string FormPrompt() { return "> "; }

FormInput ParseFormLine(const std::vector<int32_t>& numbers, std::string_view line) {
  FormInput input;
  const std::string trimmed = Trim(line);
  if (trimmed.empty()) {
    input.kind = FormInput::Kind::kAccept;
    return input;
  }
  int32_t number = 0;
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  auto [end, ec] = std::from_chars(first, last, number);
  const bool separated = end == last || std::isspace(static_cast<unsigned char>(*end));
  if (ec != std::errc() || !separated || number < 1 || number > static_cast<int32_t>(numbers.size())) {
    return input;
  }
  input.kind = FormInput::Kind::kControl;
  input.id = numbers[static_cast<size_t>(number - 1)];
  if (end != last) {
    input.hasText = true;
    const std::string text = Trim(std::string_view(end, static_cast<size_t>(last - end)));
    input.text = XpStringA(text.c_str(), static_cast<int32_t>(text.size())).ToWide();
  }
  return input;
}

std::string FolderPrompt(const XpString& title, const XpString& caption, const XpString& initialPath) {
  std::string prompt = "\n[" + Utf8(title) + "]\n";
  if (!caption.IsEmpty()) {
    prompt += Utf8(caption) + "\n";
  }
  return prompt + FolderAsk(initialPath);
}

std::string FolderAsk(const XpString& initialPath) {
  if (initialPath.IsEmpty()) {
    return "Folder (empty line cancels): ";
  }
  return "Folder [" + Utf8(initialPath) + "] (Enter takes it, " + kFolderCancelWord + " cancels): ";
}

std::optional<XpString> ParseFolderAnswer(std::string_view line, const XpString& initialPath) {
  if (line.empty()) {
    if (initialPath.IsEmpty()) {
      return std::nullopt;
    }
    return initialPath;
  }
  if (!initialPath.IsEmpty() && Trim(line) == kFolderCancelWord) {
    return std::nullopt;
  }
  return XpStringA(line.data(), static_cast<int32_t>(line.size())).ToWide();
}

int32_t BarCellsFor(int32_t columns, size_t extra) {
  const size_t fixed = static_cast<size_t>(kBarTextWidth) + extra;
  const size_t usable = UsableWidth(columns);
  const size_t room = usable > fixed ? usable - fixed : 0;
  return static_cast<int32_t>(std::clamp(room, static_cast<size_t>(kMinBarCells), static_cast<size_t>(kBarCells)));
}

std::string FitToWidth(const std::string& line, std::string_view suffix, int32_t columns) {
  const size_t usable = UsableWidth(columns);
  if (line.size() + suffix.size() <= usable) {
    return line + std::string(suffix);
  }
  return line.substr(0, usable);
}

int32_t ProgressPercent(const SfProgressCtrl& bar) {
  int32_t lower = 0;
  int32_t upper = 0;
  bar.GetRange(&lower, &upper);
  if (upper == lower) {
    return 0;
  }
  const int64_t offset = static_cast<int64_t>(bar.GetDisplayedPos()) - lower;
  return static_cast<int32_t>(offset * kPercentWhole / (static_cast<int64_t>(upper) - lower));
}

std::string ProgressLine(const SfProgressCtrl& bar, int32_t cells, int32_t marqueePosition) {
  std::string line = "[";
  if (bar.IsMarqueeOn()) {
    const XfUiSize client{cells * kCellPixels, kBarPixelsHigh};
    const std::vector<XfUiRect> blocks = SfProgressCtrl::MarqueeBlocks(marqueePosition, client);
    for (int32_t cell = 0; cell < cells; ++cell) {
      const XfUiRect area{cell * kCellPixels, 0, (cell + 1) * kCellPixels, kBarPixelsHigh};
      bool lit = false;
      for (const XfUiRect& block : blocks) {
        lit = lit || !block.Intersect(area).IsEmpty();
      }
      line += lit ? '#' : ' ';
    }
    return line + "]";
  }
  const int32_t percent = ProgressPercent(bar);
  const int32_t filled = std::clamp(percent, 0, kPercentWhole) * cells / kPercentWhole;
  line += std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(cells - filled), '.');
  char number[8];
  std::snprintf(number, sizeof(number), "%3d", percent);
  return line + "] " + number + " %";
}

}  // namespace XfUiTerminalFormat
