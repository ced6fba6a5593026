#include "protocol/rules.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "channel/wire_constants.h"
#include "output/console.h"
#include "protocol/protocol_state.h"
#include "protocol/requests.h"
#include "protocol/warning.h"
#include "services/host_services.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/text.h"

namespace protocol {

namespace {

const double kEpsilon = 0.000001;
const int32_t kProgressPeriodMs = 8000;
const int32_t kReportQuietMs = 10000;

// The rule's verdict on one value of its cvar.
struct Verdict {
  bool violated;
  double number;                        // kinds in and out
  char compared[TG_QUERY_BUFFER_SIZE];  // kinds include and exclude
};

Verdict Judge(const CvarRule& rule, const char* value) {
  Verdict verdict = {false, 0.0, ""};
  if (rule.kind == kRuleIn || rule.kind == kRuleOut) {
    verdict.number = ReadDecimal(value[0] == '"' ? value + 1 : value);
    const double x = verdict.number;
    verdict.violated = rule.kind == kRuleIn ? (x < rule.low - kEpsilon || x > rule.high + kEpsilon)
                                            : (rule.low - kEpsilon < x && x < rule.high + kEpsilon);
    return verdict;
  }
  char trimmed[TG_QUERY_BUFFER_SIZE];
  CopyBounded(trimmed, value, sizeof trimmed - 1);
  const size_t n = strlen(trimmed);
  if (n > 0 && trimmed[n - 1] == '"') trimmed[n - 1] = '\0';
  CopyBounded(verdict.compared, trimmed[0] == '"' ? trimmed + 1 : trimmed, sizeof verdict.compared - 1);
  for (char* p = verdict.compared; *p != '\0'; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
  const bool contains = strstr(verdict.compared, rule.text) != nullptr;
  verdict.violated = rule.kind == kRuleInclude ? !contains : contains;
  return verdict;
}

void Bound(double value, char* out, int size) { FormatDecimal(value, out, size, 6); }

void ReportViolation(HostInterface* host, CvarRule& rule, const Verdict& verdict, uint32_t now) {
  char text[512], cvar[8], demand[24];
  wire::Unmask(wire::Text::kCvarWord, cvar, sizeof cvar);
  if (rule.kind == kRuleIn || rule.kind == kRuleOut) {
    char x[64], low[64], high[64];
    Bound(verdict.number, x, sizeof x);
    Bound(rule.low, low, sizeof low);
    Bound(rule.high, high, sizeof high);
    const bool equal = rule.low == rule.high;
    const wire::Text which =
        rule.kind == kRuleIn ? wire::Text::kMustBe : (equal ? wire::Text::kMustNotBe : wire::Text::kMustBeOutside);
    wire::Unmask(which, demand, sizeof demand);
    if (equal) {
      FormatText(text, sizeof text, "%s %s = %s %s %s", cvar, rule.name, x, demand, low);
    } else {
      FormatText(text, sizeof text, "%s %s = %s %s %s to %s", cvar, rule.name, x, demand, low, high);
    }
  } else {
    wire::Unmask(rule.kind == kRuleInclude ? wire::Text::kMustInclude : wire::Text::kMustNotInclude, demand,
                 sizeof demand);
    FormatText(text, sizeof text, "%s %s = \"%s\" %s \"%s\"", cvar, rule.name, verdict.compared, demand, rule.text);
  }
  ShowWarning(host, text, 0);
  rule.last_report = now;
  if (Protocol().connection.cvar_request_flag) SendReply(host, CvarValueReply(host, rule.name, 'L'), now);
}

}  // namespace

RuleLine AddRuleLine(char* line) {
  CvarRule rule;
  memset(&rule, 0, sizeof rule);
  int32_t number;
  bool valid = true;
  {
    ArgList words(line, 1, 0);
    number = ReadDigits(words.Word(0));
    if (words.Length(1) == 0) return {RuleLine::Kind::kCount, number};
    const char* kind = words.Word(2);
    switch (words.Length(2)) {
      case 7:
        rule.kind = SameLetters(kind, "include") ? kRuleInclude : SameLetters(kind, "exclude") ? kRuleExclude : 0;
        break;
      case 2:
        rule.kind = SameLetters(kind, "in") ? kRuleIn : 0;
        break;
      case 3:
        rule.kind = SameLetters(kind, "out") ? kRuleOut : 0;
        break;
      default:
        break;
    }
    valid = rule.kind != 0;
    if (valid) {
      CopyBounded(rule.name, words.Word(1), sizeof rule.name - 1);
      if (rule.kind == kRuleInclude || rule.kind == kRuleExclude) {
        CopyBounded(rule.text, words.Word(3), sizeof rule.text - 1);
      } else {
        rule.low = ReadDecimal(words.Word(3));
        rule.high = ReadDecimal(words.Word(4));
        if (rule.low > rule.high) {
          const double swap = rule.low;
          rule.low = rule.high;
          rule.high = swap;
        }
      }
    }
  }  // the line's own bytes are back in place here
  if (!valid) {
    ConsolePrint(0, "Unable to Add Cvar Check - Invalid Specification: %s", line);
    return {RuleLine::Kind::kRefused, 0};
  }
  RuleState& state = Protocol().rules;
  if (state.rules.Count() >= kMaxCvarRules) {
    if (!state.overflow_reported) ConsolePrint(0, "Cvar Check List Full (%d) - Further Checks Ignored", kMaxCvarRules);
    state.overflow_reported = 1;
    return {RuleLine::Kind::kRefused, 0};
  }
  state.rules.Append(&rule);
  return {RuleLine::Kind::kAdded, 0};
}

void HandleRuleText(HostInterface* host, char* text, uint32_t now) {
  RuleState& state = Protocol().rules;
  if (state.list_state < 0) {
    const RuleLine r = AddRuleLine(text);
    if (r.kind == RuleLine::Kind::kCount && r.count != state.rules.Count()) state.list_state = 0;
    return;
  }
  RuleLine r = {RuleLine::Kind::kRefused, 0};
  char* line = text;
  for (;;) {
    char* end = strchr(line, '\n');
    if (end != nullptr) *end = '\0';
    r = AddRuleLine(line);
    const bool count_line = r.kind == RuleLine::Kind::kCount;
    if (!count_line || (state.last_rule_line != 0 && ElapsedMs(now, state.last_rule_line) > 10000)) {
      ++state.list_state;
      state.last_rule_line = now;
      state.last_progress = now - (kProgressPeriodMs - 500);
    }
    if (count_line) break;
    if (end == nullptr) return;  // no line end: more lines are to come
    line = end + 1;
    while (*line == ' ' || *line == '\r' || *line == '\n') ++line;
    if (*line == '\0') break;
  }
  state.list_state = -1;
  if (r.kind == RuleLine::Kind::kCount && state.rules.Count() < r.count) {
    state.list_state = 0;
    return;
  }
  ListRules(host, 10);
}

void CheckNextRule(HostInterface* host, uint32_t now) {
  RuleState& state = Protocol().rules;
  if (state.list_state >= 0) {
    if (!Protocol().connection.hello_seen || ElapsedMs(now, state.last_progress) < kProgressPeriodMs) return;
    state.last_progress = now;
    char report[32];
    FormatText(report, sizeof report, "%c%c%d", 'B', 'C', static_cast<int>(state.list_state));
    SendPayload(host, report, static_cast<int32_t>(strlen(report)) + 1, now);
  }
  if (state.rules.Count() == 0) return;
  if (state.next_index >= state.rules.Count() || state.next_index < 0) state.next_index = 0;
  CvarRule& rule = *static_cast<CvarRule*>(state.rules.Element(state.next_index));
  ++state.next_index;
  if (rule.name[0] == '\0') return;
  char value[TG_QUERY_BUFFER_SIZE];
  QueryHostCvar(host, rule.name, value);
  const Verdict verdict = Judge(rule, value);
  if (!verdict.violated) return;
  if (rule.last_report != 0 && ElapsedMs(now, rule.last_report) <= kReportQuietMs) return;
  ReportViolation(host, rule, verdict, now);
}

void ListRules(HostInterface* host, int limit) {
  const GrowArray& rules = Protocol().rules.rules;
  int violations = 0;
  int printed_ok = 0;
  bool truncated = false;
  for (int i = 0; i < rules.Count(); ++i) {
    const CvarRule& rule = *static_cast<const CvarRule*>(rules.Element(i));
    if (rule.name[0] == '\0') continue;
    char value[TG_QUERY_BUFFER_SIZE];
    QueryHostCvar(host, rule.name, value);
    const Verdict verdict = Judge(rule, value);
    char shown[TG_QUERY_BUFFER_SIZE];
    CopyBounded(shown, value[0] == '"' ? value + 1 : value, sizeof shown - 1);
    const size_t n = strlen(shown);
    if (n > 0 && shown[n - 1] == '"') shown[n - 1] = '\0';

    char line[1025];
    FormatText(line, sizeof line, "%s = \"%s\" : ", rule.name, IsProtectedName(rule.name) ? "**Protected**" : shown);
    if (rule.kind == kRuleInclude || rule.kind == kRuleExclude) {
      AppendText(line, sizeof line, "must %sINCLUDE \"%s\" ", rule.kind == kRuleExclude ? "NOT " : "", rule.text);
    } else {
      char low[64], high[64];
      Bound(rule.low, low, sizeof low);
      Bound(rule.high, high, sizeof high);
      if (rule.low == rule.high) {
        AppendText(line, sizeof line, "must %s to %s ", rule.kind == kRuleIn ? "be EQUAL" : "NOT be EQUAL", low);
      } else {
        AppendText(line, sizeof line, "must be %s %s to %s ", rule.kind == kRuleIn ? "INSIDE" : "OUTSIDE", low, high);
      }
    }
    if (verdict.violated) {
      AppendText(line, sizeof line, "(VIOLATION)");
      ConsolePrint(0, "%s", line);
      ++violations;
    } else if (limit == 0 || printed_ok < limit) {
      AppendText(line, sizeof line, "(OK)");
      ConsolePrint(0, "%s", line);
      ++printed_ok;
    } else {
      truncated = true;
    }
  }
  ConsolePrint(0, "%d Current Cvar Violation%s", violations, PluralS(violations));
  if (truncated) ConsolePrint(0, "CvarList truncated; Use tg_cvarlist to see entire list");
}

void ClearRules() {
  RuleState& state = Protocol().rules;
  state.rules.Clear();
  state.list_state = 0;
  state.overflow_reported = 0;
}

}  // namespace protocol
