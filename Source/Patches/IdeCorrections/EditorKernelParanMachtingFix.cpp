#include "Patches/IdeCorrections/EditorKernelParanMachtingFix.h"

#include <cstring>

#include "Framework/LibraryEntry.h"
#include "Patches/IdeCorrections/ParanMatchingPatterns.h"

// The adapters (ParanMatchingAdapters.S), placed where the host's calls pointed.
extern "C" void QmParanStartAdapter() asm("QmParanStartAdapter");
extern "C" void QmParanCompareAAdapter() asm("QmParanCompareAAdapter");
extern "C" void QmParanCompareBAdapter() asm("QmParanCompareBAdapter");

namespace Quillmend {

uint8_t InSingleQuote = 0;
uint8_t InDoubleQuote = 0;
uint8_t SkipNextPosition = 0;
uint8_t CommentBracket = 0;

TOrgTokenLength OrgTokenLength = nullptr;
TOrgTokenCompare OrgTokenCompare = nullptr;
THostStrLComp HostStrLComp = nullptr;

namespace {

constexpr char DoubleQuote = '"';
constexpr char Apostrophe = '\'';
constexpr char Backslash = '\\';

const wchar_t* const EditorKernel = L"boreditu.dll";

// The host's comparison without the literal logic: one byte, two bytes read
// as signed 16-bit values, or a bounded comparison of longer tokens.
int32_t PlainCompare(int32_t length, const char* token, const char* at, TOrgTokenCompare longer) {
  if (length == 1) return int32_t(uint8_t(at[0])) - int32_t(uint8_t(token[0]));
  if (length == 2) {
    int16_t a, b;
    std::memcpy(&a, at, 2);
    std::memcpy(&b, token, 2);
    return int32_t(a) - int32_t(b);
  }
  return longer ? longer(at, token, length) : HostStrLComp(at, token, uint32_t(length));
}

bool IsCommentDelimiter(const char* at, const char* last) {
  const char c = *at;
  if (c == '*' || c == '/' || c == '{' || c == '}') return true;
  return c == '(' && at + 1 <= last && at[1] == '*';
}

// Backslashes right before `at`, not counting below the text's first position.
int BackslashesBefore(const char* at, const char* first) {
  int run = 0;
  while (at - run > first && at[-run - 1] == Backslash) ++run;
  return run;
}

// The literal state after the character at `at`, as the scan meets it.
void TrackLiteral(const char* at, const char* first, const char* last, int32_t direction) {
  switch (*at) {
    case DoubleQuote:
      if (InSingleQuote) break;
      // Backwards, an escaped quote is known by the backslashes before it.
      if (direction >= 0 || BackslashesBefore(at, first) % 2 == 0) InDoubleQuote = !InDoubleQuote;
      break;
    case Apostrophe:
      if (InDoubleQuote) break;
      if (!InSingleQuote) {
        InSingleQuote = 1;
      } else if (direction < 0) {
        if (at > first && at[-1] == Apostrophe)
          SkipNextPosition = 1;  // a doubled quote
        else
          InSingleQuote = 0;
      } else {
        if (at < last && at[1] == Apostrophe)
          SkipNextPosition = 1;
        else
          InSingleQuote = 0;
      }
      break;
    case Backslash:
      if (InDoubleQuote && direction > 0) SkipNextPosition = 1;
      break;
    default:
      break;
  }
}

} // namespace

int32_t __cdecl ParanStartCheck(const char* hostArgument, const char** position, const char* first,
                                const char* last, int32_t direction) {
  const char* pos = *position;
  const char c = *pos;
  CommentBracket = IsCommentDelimiter(pos, last) ? 1 : 0;
  if (CommentBracket) return OrgTokenLength(hostArgument);

  // Which literal the text before the caret leaves open. Most characters are
  // none of the three the state depends on: they are passed over in bulk.
  bool sq = false, dq = false;
  const char* p = first;
  while (p < pos) {
    while (p < pos && *p != DoubleQuote && *p != Apostrophe && *p != Backslash) ++p;
    if (p >= pos) break;
    if (*p == DoubleQuote) {
      if (!sq) dq = !dq;
    } else if (*p == Apostrophe) {
      if (dq) {
      } else if (sq && p < last && p[1] == Apostrophe) {
        ++p;  // a doubled quote inside the literal
      } else {
        sq = !sq;
      }
    } else if (*p == Backslash) {
      if (dq) ++p;  // the escaped character
    }
    ++p;
  }

  // Abort: the caret's bracket lies inside a literal. State: where the host scan begins.
  bool abortSq = sq, abortDq = dq, stateSq = sq, stateDq = dq;
  if (p != pos) {
    // The pre-scan stepped over the caret: it is the escaped half of a pair.
  } else if (c == Apostrophe) {
    if (dq) {
    } else if (sq && pos < last && pos[1] == Apostrophe) {
    } else if (sq) {  // a closing quote
      abortSq = false;
      if (direction < 0)
        stateSq = true;  // back through the literal
      else
        abortSq = true;
    } else {  // an opening quote
      if (direction > 0)
        stateSq = true;
      else
        abortSq = true;
    }
  } else if (c == DoubleQuote) {
    if (sq) {
    } else if (dq) {
      abortDq = false;
      if (direction < 0)
        stateDq = true;
      else
        abortDq = true;
    } else {
      if (direction > 0)
        stateDq = true;
      else
        abortDq = true;
    }
  }
  InSingleQuote = stateSq;
  InDoubleQuote = stateDq;
  SkipNextPosition = 0;
  if (abortSq || abortDq) {
    // The host's next step leaves the text: its search ends without a match.
    *position = direction > 0 ? last : first;
    return 0;
  }
  return OrgTokenLength(hostArgument);
}

int32_t __cdecl ParanCompareA(int32_t length, const char* token, const char* at, const char* first,
                              const char* last, int32_t direction) {
  if (!CommentBracket && SkipNextPosition) {
    SkipNextPosition = 0;
    return 1;
  }
  const int32_t result = PlainCompare(length, token, at, nullptr);
  if (CommentBracket) return result;
  TrackLiteral(at, first, last, direction);
  return InSingleQuote || InDoubleQuote || SkipNextPosition ? 1 : result;
}

int32_t __cdecl ParanCompareB(int32_t length, const char* token, const char* at, const char*, const char*) {
  if (CommentBracket) return PlainCompare(length, token, at, OrgTokenCompare);
  if (InSingleQuote || InDoubleQuote || SkipNextPosition) return 1;
  return PlainCompare(length, token, at, OrgTokenCompare);
}

TPatchPlan ParanMatchingPlan() {
  namespace P = ParanMatchingPatterns;
  TPatchPlan plan(L"IDE.Editor.ParanMatching", L"Parenthese mismatching in string literals fix",
                  TInstallMoment::WizardInit);
  TSiteRef strLComp = plan.Export(L"StrLComp", L"rtl150.bpl", "@Sysutils@StrLComp$qqrpxct1ui");
  TSiteRef start = plan.Pattern(L"BracketSearchStart", EditorKernel, P::Start, P::StartWindow);
  TSiteRef compare = plan.PatternFrom(L"BracketSearchCompare", start, 0, P::Compare, P::CompareWindow);
  TSiteRef nesting = plan.PatternFrom(L"BracketSearchNesting", compare, 0, P::Nesting, P::NestingWindow);
  TCaptureRef tokenLength = plan.CallTarget(start, P::TokenLengthCall);
  TCaptureRef tokenCompare = plan.CallTarget(compare, P::CompareCall);
  // Compare B stands in for the nesting call with the comparison site 2 makes.
  plan.ExpectEqual(plan.CallTarget(nesting, P::NestingCall), tokenCompare,
                   L"BracketSearchNesting +0x1B: the comparison of BracketSearchCompare +0x0E");
  plan.RetargetCall(start, P::TokenLengthCall, &QmParanStartAdapter);
  plan.RetargetCall(compare, P::CompareCall, &QmParanCompareAAdapter);
  plan.RetargetCall(nesting, P::NestingCall, &QmParanCompareBAdapter);
  plan.OnCommit([=](const TPlanValues& v) {
    OrgTokenLength = v.Get<TOrgTokenLength>(tokenLength);
    OrgTokenCompare = v.Get<TOrgTokenCompare>(tokenCompare);
    HostStrLComp = reinterpret_cast<THostStrLComp>(v.Site(strLComp));
  });
  return plan;
}

void InstallEditorKernelParanMachtingFix() {
  TPatchPlan plan = ParanMatchingPlan();
  InstallPlan(plan);
}

namespace {

void InitializeEditorKernelParanMachtingFix() { AddWizardInitProc(&InstallEditorKernelParanMachtingFix); }

std::vector<TPatchPlan> EditorKernelParanMachtingFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ParanMatchingPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_EditorKernelParanMachtingFix = {"EditorKernelParanMachtingFix",
                                                     &InitializeEditorKernelParanMachtingFix, nullptr,
                                                     &EditorKernelParanMachtingFixPlans};

} // namespace Quillmend
