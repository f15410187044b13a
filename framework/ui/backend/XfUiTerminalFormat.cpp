#include "framework/ui/backend/XfUiTerminalFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <set>

#include "platform/text/XpStringA.h"

namespace XfUiTerminalFormat {

namespace {

constexpr int32_t kPercentWhole = 100;
// Cancels the folder question when Enter would take a default.
constexpr const char* kFolderCancelWord = "-";
constexpr const char* kStatusGap = "  ";
constexpr const char* kCutMark = "...";
constexpr size_t kMaxPercentDigits = 3;

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
      line = label + item.Text().ToMultiByte().ToStdString();
      break;
    case XfItemKind::kEdit:
      line = label + "[" + item.Text().ToMultiByte().ToStdString() + "]";
      break;
    case XfItemKind::kCheckBox:
      line = label + (item.IsChecked() ? "[x] " : "[ ] ") + item.Text().ToMultiByte().ToStdString();
      break;
    case XfItemKind::kRadio:
      line = label + (item.IsChecked() ? "(*) " : "( ) ") + item.Text().ToMultiByte().ToStdString();
      break;
    case XfItemKind::kButton:
      line = label + "<" + item.Text().ToMultiByte().ToStdString() + ">";
      if (item.Id() == acceptCommand) {
        line += " (Enter)";
      }
      break;
    case XfItemKind::kList:
      line = label + item.Text().ToMultiByte().ToStdString();
      for (const XpString& entry : item.Lines()) {
        line += "\n       " + entry.ToMultiByte().ToStdString();
      }
      break;
    case XfItemKind::kProgress:
      line = FitToWidth(label + ProgressLine(*item.Progress(), BarCellsFor(columns, label.size()),
                                             item.Progress()->MarqueePosition()),
                        "", columns);
      break;
    case XfItemKind::kPicture:
      return "";
  }
  if (item.TakesInput() && !item.IsEnabled()) {
    line += " (unavailable)";
  }
  return line + "\n";
}

// UTF-8 characters in text: every byte that does not continue one.
size_t CharCount(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char ch) {
    return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  }));
}

// The first count characters of text.
std::string FirstChars(std::string_view text, size_t count) {
  size_t chars = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && chars++ == count) {
      return std::string(text.substr(0, at));
    }
  }
  return std::string(text);
}

// Static items shown on one line with the static that labels them: each of
// the two maps to the other.
std::map<int32_t, const XfDialogItem*> LabelPairs(const XfDialogModel& model) {
  std::map<int32_t, const XfDialogItem*> partners;
  for (const auto& item : model.Items()) {
    const XfDialogItem* label = item->LabelId() != 0 ? model.Find(item->LabelId()) : nullptr;
    if (label == nullptr || label == item.get() || item->Kind() != XfItemKind::kStatic ||
        label->Kind() != XfItemKind::kStatic || !label->IsVisible() || !item->IsVisible()) {
      continue;
    }
    partners[label->Id()] = item.get();
    partners[item->Id()] = label;
  }
  return partners;
}

// The label and the value it labels, as one text; "" when both are empty.
std::string PairText(const XfDialogItem& first, const XfDialogItem& second) {
  const bool firstIsLabel = second.LabelId() == first.Id();
  const std::string label = (firstIsLabel ? first : second).Text().ToMultiByte().ToStdString();
  const std::string value = (firstIsLabel ? second : first).Text().ToMultiByte().ToStdString();
  if (label.empty() || value.empty()) {
    return label + value;
  }
  return label + " " + value;
}

// The visible items in model order; a static one with its text, joined with
// its label's where the first of the two stands.
struct StaticLine {
  const XfDialogItem* item;
  std::string text;
  bool isStatic;
};
std::vector<StaticLine> StaticLines(const XfDialogModel& model) {
  const std::map<int32_t, const XfDialogItem*> partners = LabelPairs(model);
  std::set<int32_t> done;
  std::vector<StaticLine> lines;
  for (const auto& item : model.Items()) {
    if (!item->IsVisible() || done.count(item->Id()) != 0) {
      continue;
    }
    const auto partner = partners.find(item->Id());
    if (partner != partners.end()) {
      done.insert(partner->second->Id());
      lines.push_back({item.get(), PairText(*item, *partner->second), true});
      continue;
    }
    const bool isStatic = item->Kind() == XfItemKind::kStatic;
    lines.push_back({item.get(),
                     isStatic ? item->Text().ToMultiByte().ToStdString() : std::string(),
                     isStatic});
  }
  return lines;
}

}  // namespace

std::string BoxPrompt(const XpString& caption, const XpString& text, const XfMessageBoxStyle& style) {
  std::string prompt =
      "\n[" + caption.ToMultiByte().ToStdString() + "]\n" + text.ToMultiByte().ToStdString() + "\n";
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

FormBlock RenderForm(const XfDialogModel& model, int32_t acceptCommand, int32_t columns, bool withoutStatus) {
  FormBlock block;
  block.text = "\n== " + model.Title().ToMultiByte().ToStdString() + " ==\n";
  for (const StaticLine& line : StaticLines(model)) {
    const XfDialogItem& item = *line.item;
    if (line.isStatic) {
      if (!withoutStatus && !line.text.empty()) {
        block.text += "     " + line.text + "\n";
      }
      continue;
    }
    if (withoutStatus && item.Kind() == XfItemKind::kProgress) {
      continue;
    }
    int32_t number = 0;
    if (item.TakesInput()) {
      block.numbers.push_back(item.Id());
      number = static_cast<int32_t>(block.numbers.size());
    }
    block.text += ItemText(item, number, acceptCommand, columns);
  }
  block.text += "Type a number, or a number and text.\n";
  return block;
}

std::string FormPrompt() { return "> "; }

std::vector<std::string> StatusTexts(const XfDialogModel& model) {
  std::vector<std::string> texts;
  for (const StaticLine& line : StaticLines(model)) {
    if (line.isStatic && !line.text.empty() && !IsPercentText(line.text)) {
      texts.push_back(line.text);
    }
  }
  return texts;
}

bool IsPercentText(std::string_view text) {
  const std::string trimmed = Trim(text);
  size_t digits = 0;
  while (digits < trimmed.size() && std::isdigit(static_cast<unsigned char>(trimmed[digits]))) {
    ++digits;
  }
  if (digits == 0 || digits > kMaxPercentDigits) {
    return false;
  }
  const std::string rest = Trim(std::string_view(trimmed).substr(digits));
  return rest == "%";
}

namespace {

std::string JoinStatus(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    joined += kStatusGap + text;
  }
  return joined;
}

}  // namespace

int32_t StatusBarCells(int32_t columns, const std::vector<std::string>& texts, std::string_view suffix) {
  return BarCellsFor(columns, CharCount(JoinStatus(texts)) + CharCount(suffix));
}

std::string StatusLine(const std::string& barLine, const std::vector<std::string>& texts, std::string_view suffix,
                       int32_t columns) {
  const size_t usable = UsableWidth(columns);
  std::string joined = JoinStatus(texts);
  if (barLine.empty() && joined.size() >= std::char_traits<char>::length(kStatusGap)) {
    joined.erase(0, std::char_traits<char>::length(kStatusGap));
  }
  const size_t fixed = CharCount(barLine) + CharCount(suffix);
  if (fixed + CharCount(joined) <= usable) {
    return barLine + joined + std::string(suffix);
  }
  const size_t cutMark = std::char_traits<char>::length(kCutMark);
  if (fixed + cutMark < usable && !joined.empty()) {
    return barLine + FirstChars(joined, usable - fixed - cutMark) + kCutMark + std::string(suffix);
  }
  if (!barLine.empty() && fixed <= usable) {
    return barLine + std::string(suffix);
  }
  return FirstChars(barLine.empty() ? joined : barLine, usable);
}

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
  std::string prompt = "\n[" + title.ToMultiByte().ToStdString() + "]\n";
  if (!caption.IsEmpty()) {
    prompt += caption.ToMultiByte().ToStdString() + "\n";
  }
  return prompt + FolderAsk(initialPath);
}

std::string FolderAsk(const XpString& initialPath) {
  if (initialPath.IsEmpty()) {
    return "Folder (empty line cancels): ";
  }
  return "Folder [" + initialPath.ToMultiByte().ToStdString() + "] (Enter takes it, " +
         kFolderCancelWord + " cancels): ";
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
