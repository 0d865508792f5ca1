// ThlxHTMLRTF: a markup scanner for HTML. Token kinds are the colour numbers themselves.
//
// How it reads: outside tags, text runs up to "<", "&" or the line end; "&" starts an entity
// that ends after ";" or before the first character that is not a letter, digit or "#". "<!--"
// and "<%" open a comment and server script that run, line by line, to "-->" and "%>". "<"
// followed by a letter, "/" or "!" opens a tag: "<" is a symbol, then the tag word (with its
// "/" or "!") ends at a blank, "/", ">", "=", a quote, "<" or the line end, and is a known tag when
// it is one of the tag words (in any case), else an unknown tag. Inside the tag, attribute
// names end the same way; a value after "=" is a string when quoted (to the same quote,
// across lines), else it runs to a blank, ">" or the line end. A tag stays open, across
// lines, until ">". Any other "<" is text. At the end of the text every open construct ends.
// The body of a <script> element, up to its "</script", is coloured as JavaScript, and that of
// a <style> element as CSS, in colours of their own after the markup's in the colour table.
#include <unordered_set>

#include "platform/bqText.h"
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

enum : uint8_t {
  hkScript = 1, hkComment = 2, hkIdentifier = 3, hkKnownTag = 4, hkSpace = 5, hkString = 6, hkSymbol = 7,
  hkText = 8, hkUnknownTag = 9, hkValue = 10, hkEntity = 11, hkNull = 11,
};

const std::unordered_set<std::string>& TagWords() {
  static const std::unordered_set<std::string> words = [] {
    static constexpr std::string_view kWords[] = {
        "!DOCTYPE", "/A", "/ABBR", "/ACRONYM", "/ADDRESS", "/APPLET", "/B", "/BIG", "/BLINK", "/BLOCKQUOTE",
        "/BODY", "/BUTTON", "/CAPTION", "/CENTER", "/CITE", "/CODE", "/COLGROUP", "/COMMENT", "/DD", "/DEL",
        "/DFN", "/DIR", "/DIV", "/DL", "/DT", "/EM", "/EMBED", "/FIELDSET", "/FONT", "/FORM", "/FRAMESET", "/H1",
        "/H2", "/H3", "/H4", "/H5", "/H6", "/HEAD", "/HTML", "/I", "/IFRAME", "/ILAYER", "/INS", "/KBD",
        "/LABEL", "/LAYER", "/LEGend", "/LI", "/LISTING", "/MAP", "/MARQUEE", "/MENU", "/MULTICOL", "/NOBR",
        "/NOEMBED", "/NOFRAMES", "/NOLAYER", "/NOSCRIPT", "/object", "/OL", "/OPTION", "/P", "/PRE", "/Q", "/S",
        "/SAMP", "/SCRIPT", "/SELECT", "/SERVER", "/SMALL", "/SPAN", "/STRIKE", "/STRONG", "/STYLE", "/SUB",
        "/SUP", "/TABLE", "/TBODY", "/TD", "/TEXTAREA", "/TFOOT", "/TH", "/THEAD", "/TITLE", "/TR", "/TT", "/U",
        "/UL", "/var", "/XMP", "A", "ABBR", "ACRONYM", "ADDRESS", "APPLET", "AREA", "B", "BASE", "BASEFONT",
        "BGSOUND", "BIG", "BLINK", "BLOCKQUOTE", "BODY", "BR", "BUTTON", "CAPTION", "CENTER", "CITE", "CODE",
        "COL", "COLGROUP", "COMMENT", "DD", "DEL", "DFN", "DIR", "DIV", "DL", "DT", "EM", "EMBED", "FIELDSET",
        "FONT", "FORM", "FRAME", "FRAMESET", "H1", "H2", "H3", "H4", "H5", "H6", "HEAD", "HR", "HTML", "I",
        "IFRAME", "ILAYER", "IMG", "INPUT", "INS", "ISINDEX", "KBD", "KEYGEN", "LABEL", "LAYER", "LEGend", "LI",
        "LINK", "LISTING", "MAP", "MARQUEE", "MENU", "META", "MULTICOL", "NEXTID", "NOBR", "NOEMBED", "NOFRAMES",
        "NOLAYER", "NOSCRIPT", "object", "OL", "OPTION", "P", "PARAM", "PLAINTEXT", "PRE", "Q", "S", "SAMP",
        "SCRIPT", "SELECT", "SERVER", "SMALL", "SPACER", "SPAN", "STRIKE", "STRONG", "STYLE", "SUB", "SUP",
        "TABLE", "TBODY", "TD", "TEXTAREA", "TFOOT", "TH", "THEAD", "TITLE", "TR", "TT", "U", "UL", "var", "WBR",
        "XMP"};
    std::unordered_set<std::string> set;
    for (auto w : kWords) set.insert(UpperAscii(w));
    return set;
  }();
  return words;
}

bool EndsName(char c) {
  return static_cast<unsigned char>(c) <= 32 || c == '>' || c == '=' || c == '"' || c == '\'' || c == '<';
}

class ThlxHTMLRTF : public ThlxMarkupSyntax {
public:
  ThlxHTMLRTF() {
    std::vector<TRtfColor> colors = MarkupColors();
    for (auto* e : {FScript.get(), FStyle.get()}) colors.insert(colors.end(), e->LanguageColors()->begin(), e->LanguageColors()->end());
    SetColors(colors);
  }
  void SetDefaultColors() override {}

  void Next() override {
    FTokenPos = FRun;
    if (FEmbedded) {
      if (!FEmbedded->GetEol()) {
        const std::string_view token = FEmbedded->GetToken();
        FRun = static_cast<size_t>(token.data() + token.size() - FText.data());
        FTokenKind = static_cast<uint8_t>(FEmbeddedBase + FEmbedded->GetTokenKind());
        FEnd = false;
        FEmbedded->Next();
        return;
      }
      FEmbedded = nullptr;
    }
    const char c = At(FRun);
    if (c == '\r' || c == '\n' || c == '\0') {
      ScanSpaceOrEnd(hkSpace, hkNull);
      return;
    }
    FEnd = false;
    switch (FRange) {
      case rComment: Section("-->", hkComment); return;
      case rScript: Section("%>", hkScript); return;
      case rString: StringRun(); return;
      case rTagName: TagName(); return;
      case rTag: Tag(); return;
      default: Text(); return;
    }
  }

private:
  enum { rText, rTagName, rTag, rString, rComment, rScript };  // rText is the base's 0

  void Text() {
    const char c = At(FRun);
    if (c == '<' && Matches(FRun, "<!--")) {
      FRun += 4;
      FRange = rComment;
      Section("-->", hkComment);
      return;
    }
    if (c == '<' && Matches(FRun, "<%")) {
      FRun += 2;
      FRange = rScript;
      Section("%>", hkScript);
      return;
    }
    const char after = At(FRun + 1);
    if (c == '<' && (IsLetter(after) || after == '/' || after == '!')) {
      ++FRun;
      FRange = rTagName;
      FTokenKind = hkSymbol;
      return;
    }
    if (c == '&') {
      ++FRun;
      while (IsIdentChar(At(FRun)) || At(FRun) == '#') ++FRun;
      if (At(FRun) == ';') ++FRun;
      FTokenKind = hkEntity;
      return;
    }
    SkipChar();  // a lone "<" is text
    while (!IsLineEnd(At(FRun)) && At(FRun) != '<' && At(FRun) != '&') SkipChar();
    FTokenKind = hkText;
  }

  void TagName() {
    FRange = rTag;
    if (EndsName(At(FRun))) {
      Tag();
      return;
    }
    SkipChar();  // the first character may be "/" or "!"
    while (!EndsName(At(FRun)) && At(FRun) != '/') SkipChar();
    const std::string word = UpperAscii(FText.substr(FTokenPos, FRun - FTokenPos));
    FTokenKind = TagWords().count(word) ? hkKnownTag : hkUnknownTag;
    FBodyOf = word == "SCRIPT" ? FScript.get() : word == "STYLE" ? FStyle.get() : nullptr;
  }

  void Tag() {
    const char c = At(FRun);
    const bool afterEqual = FAfterEqual;
    FAfterEqual = false;
    if (static_cast<unsigned char>(c) <= 32) {
      FAfterEqual = afterEqual;
      ScanSpaceOrEnd(hkSpace, hkNull);
      return;
    }
    if (c == '>') {
      ++FRun;
      FRange = rText;
      FTokenKind = hkSymbol;
      if (FBodyOf) StartBody();
      return;
    }
    if (c == '=') {
      ++FRun;
      FAfterEqual = true;
      FTokenKind = hkSymbol;
      return;
    }
    if (c == '"' || c == '\'') {
      ++FRun;
      FQuote = c;
      FRange = rString;
      StringRun();
      return;
    }
    if (afterEqual) {
      while (!IsLineEnd(At(FRun)) && static_cast<unsigned char>(At(FRun)) > 32 && At(FRun) != '>') SkipChar();
      FTokenKind = hkValue;
      return;
    }
    if (!EndsName(c) && c != '/') {
      while (!EndsName(At(FRun)) && At(FRun) != '/') SkipChar();
      FTokenKind = hkIdentifier;
      return;
    }
    ++FRun;
    FTokenKind = hkSymbol;
  }

  void StringRun() {
    for (;;) {
      const char c = At(FRun);
      if (IsLineEnd(c)) break;
      if (c == FQuote) {
        ++FRun;
        FRange = rTag;
        break;
      }
      SkipChar();
    }
    FTokenKind = hkString;
  }

  // The element's body runs to its end tag ("</script" or "</style", in any case) or the end
  // of the text; the embedded highlighter scans it in place.
  void StartBody() {
    const std::string_view close = FBodyOf == FScript.get() ? "</script" : "</style";
    size_t end = FRun;
    for (; end < FText.size(); ++end)
      if (FText[end] == '<' && end + close.size() <= FText.size() && SameTextI(FText.substr(end, close.size()), close)) break;
    FEmbedded = FBodyOf;
    FEmbeddedBase = FBodyOf == FScript.get() ? MarkupColorCount : MarkupColorCount + ScriptColorCount();
    FBodyOf = nullptr;
    FEmbedded->SetLine(FText.substr(FRun, end - FRun), 1);
  }
  int ScriptColorCount() const { return static_cast<int>(FScript->LanguageColors()->size()); }

  char FQuote = '"';
  bool FAfterEqual = false;
  const std::unique_ptr<ThlxRTFSyntax> FScript = CreateJScriptRTF(), FStyle = CreateCSSRTF();
  ThlxRTFSyntax* FBodyOf = nullptr;    // the element whose start tag is open
  ThlxRTFSyntax* FEmbedded = nullptr;  // the element whose body is being coloured
  int FEmbeddedBase = 0;
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateHTMLRTF() { return std::make_unique<ThlxHTMLRTF>(); }

}  // namespace bq
