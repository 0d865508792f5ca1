// ThlxPowerShellRTF: PowerShell: "#" and "<# #>" comments, strings in double quotes (backtick
// escapes) and single quotes ('' inside), both across lines, here-strings @"..."@ and
// @'...'@, $variables with scopes and ${braced} names, Verb-Noun commands as one word, and the
// keywords without regard to case.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kPowerShellKeywords(
    {"begin", "break", "catch", "class", "clean", "continue", "data", "default", "define", "do", "dynamicparam",
     "else", "elseif", "end", "enum", "exit", "filter", "finally", "for", "foreach", "from", "function", "hidden",
     "if", "in", "inlinescript", "param", "parallel", "process", "return", "sequence", "static", "switch",
     "throw", "trap", "try", "until", "using", "var", "while", "workflow", "cmdletbinding", "parameter",
     "mandatory", "validateset", "validaterange", "validatepattern", "validatelength", "validatecount",
     "validatenotnull", "validatenotnullorempty", "valuefrompipeline", "valuefrompipelinebypropertyname",
     "valuefromremainingarguments", "parametersetname", "position", "helpmessage", "alias", "ref"});

TLanguageDef MakePowerShellDef() {
  TLanguageDef d = ModernSchemeDef(&kPowerShellKeywords);
  d.LineComments = {"#"};
  d.BlockComments = {{"<#", "#>"}};
  d.NumberTakesLetters = true;
  d.Symbols = "(){}[];,.=+-*/%<>!&|^~?:@`";
  d.TwoCharSymbols = {"::", "..", "+=", "-=", "*=", "/=", "++", "--", "||", "&&", "|>"};
  return d;
}

const TLanguageDef kPowerShellDef = MakePowerShellDef();

class ThlxPowerShellRTF : public ThlxTableSyntax {
public:
  ThlxPowerShellRTF() : ThlxTableSyntax(kPowerShellDef) {}

protected:
  bool ScanSpecial(char c) override {
    if (c == '@' && (At(FRun + 1) == '"' || At(FRun + 1) == '\'')) {
      // A here-string opens at the end of its line and closes with "@ or '@ first on a line.
      size_t i = FRun + 2;
      while (At(i) == ' ' || At(i) == '\t') ++i;
      if (IsLineEnd(At(i))) {
        const char close[2] = {At(FRun + 1), '@'};
        FRun = i;
        OpenPending(TPendingMode::pmLineStart, std::string_view(close, 2), tkString);
        FTokenKind = tkString;
        return true;
      }
      return false;
    }
    if (c == '"') {
      ++FRun;
      OpenPending(TPendingMode::pmCloseEscaped, "\"", tkString, false, false, '`');
      return true;
    }
    if (c == '\'') {
      ++FRun;
      OpenPending(TPendingMode::pmCloseDoubled, "'", tkString);
      return true;
    }
    if (c == '$') {
      size_t i = FRun + 1;
      if (At(i) == '{') {
        while (!IsLineEnd(At(i)) && At(i) != '}' && i < FRun + 256) ++i;  // bounded: "${${${" stays linear
        if (At(i) == '}') ++i;
      } else if (IsIdentChar(At(i)) || At(i) == '?' || At(i) == '$' || At(i) == '^') {
        if (At(i) == '?' || At(i) == '$' || At(i) == '^') ++i;
        while (IsIdentChar(At(i)) || (At(i) == ':' && IsIdentChar(At(i + 1)) && At(i - 1) != ':')) ++i;
      } else {
        return false;
      }
      FRun = i;
      FTokenKind = tkVariable;
      return true;
    }
    if (IsLetter(c)) {
      // Verb-Noun: a command, not a keyword followed by a parameter.
      size_t i = FRun;
      while (IsIdentChar(At(i))) ++i;
      if (At(i) != '-' || !IsLetter(At(i + 1)) || (FRun > 0 && FText[FRun - 1] == '-')) return false;
      while (IsIdentChar(At(i)) || (At(i) == '-' && IsLetter(At(i + 1)))) ++i;
      FRun = i;
      FTokenKind = tkIdentifier;
      return true;
    }
    if (c == '-' && IsLetter(At(FRun + 1))) {  // -eq, -Path: an operator or a parameter
      ++FRun;
      while (IsIdentChar(At(FRun))) ++FRun;
      FTokenKind = tkSymbol;
      return true;
    }
    return false;
  }
};

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreatePowerShellRTF() { return std::make_unique<ThlxPowerShellRTF>(); }

}  // namespace bq
