#include "installer-actions/qmvproc/QmvLanguage.h"

#include <iterator>

namespace {

struct LanguageRow {
  const char16_t* lcid;
  QmvLanguage language;
};

constexpr LanguageRow kLanguages[] = {
    {u"1041", {u"JP", u"Ja-Jp"}},   {u"1040", {u"IT", u"It-It"}},  {u"1043", {u"NL", u"Nl-Nl"}},
    {u"1053", {u"SV", u"Sv-Se"}},   {u"3082", {u"ES", u"Es-Es"}},  {u"1031", {u"DE", u"De-De"}},
    {u"1036", {u"FR", u"Fr-Fr"}},   {u"1046", {u"PO", u"Pt-Br"}},  {u"1049", {u"RU", u"Ru-Ru"}},
    {u"1042", {u"KO", u"Ko-Kr"}},   {u"2052", {u"ZHCN", u"Zh-Cn"}}, {u"1028", {u"ZHTW", u"Zh-Tw"}},
    {u"1045", {u"PL", u"Pl-Pl"}},
};

constexpr QmvLanguage kEnglish{u"EN", u"En-Us"};

}  // namespace

const QmvLanguage& QmvLanguageOf(const XpString& lcid) {
  for (const LanguageRow& row : kLanguages) {
    if (lcid == row.lcid) return row.language;
  }
  return kEnglish;
}
