#include "host/readwrite_report.h"

#include <cstdio>

#include "harness/utf.h"

namespace host {

namespace {

using harness::Variant;

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Escape(const std::u16string& text) { return Escape(harness::ToUtf8(text)); }

// A value with its kind, CR LF shown as line breaks.
std::string Cell(const Variant& value) {
  if (value.is_null()) return "<span class=\"kind\">Null</span>";
  std::string text = Escape(value.ToText());
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    shown += text[i] == '\n' ? std::string("<br>") : std::string(1, text[i]);
  }
  return "<span class=\"value\">" + shown + "</span> <span class=\"kind\">" +
         harness::KindName(value.kind()) + "</span>";
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

bool Mismatch(const PropertyCheck& check) { return !check.equal; }
bool Unexpected(const PropertyCheck& check) { return check.outcome == WriteOutcome::kUnexpected; }

std::string PathText(const std::vector<std::u16string>& path) {
  std::string text;
  for (size_t i = 0; i < path.size(); ++i) {
    if (i > 0) text += i % 2 == 1 ? " / " : " \xE2\x80\xBA ";
    text += Escape(path[i]);
  }
  return text;
}

constexpr char kStyle[] = R"(
body{font:15px/1.4 system-ui,sans-serif;margin:0 auto;padding:12px;max-width:1100px;color:#222}
h1{font-size:1.4em}h2{font-size:1.2em;margin-top:2em}h3{font-size:1em}
table{border-collapse:collapse;margin:.5em 0}
td,th{border:1px solid #ccc;padding:3px 6px;vertical-align:top;text-align:left}
.scroll{overflow-x:auto}
.bad{background:#fde2e1}.good{background:#e6f4e6}
.mark{font-weight:bold;color:#a40000}
.kind{color:#777;font-size:.8em}
.value{white-space:pre-wrap;word-break:break-word}
details{margin:.3em 0}summary{cursor:pointer}
)";

// The properties as a table; `with_path` adds the object's place, for the
// list of what needs attention.
void ObjectTable(std::string& html, const std::vector<const PropertyCheck*>& checks,
                 bool with_path = false) {
  html += "<div class=\"scroll\"><table><tr>";
  if (with_path) html += "<th>object</th>";
  html +=
      "<th>property</th><th>original</th><th>read</th>"
      "<th>new value</th><th>write</th><th>message</th><th>read back</th></tr>\n";
  for (const PropertyCheck* check : checks) {
    const bool bad = Mismatch(*check) || Unexpected(*check);
    html += bad ? "<tr class=\"bad\">" : "<tr>";
    if (with_path) html += "<td>" + PathText(check->path) + "</td>";
    html += "<td>" + Escape(check->property) + "</td><td>" + Cell(check->original) + "</td><td>";
    if (check->read_error) {
      html += "<span class=\"mark\">not read:</span> " + Escape(check->read_error->description());
    } else {
      html += Cell(check->read);
      if (Mismatch(*check)) html += " <span class=\"mark\">MISMATCH</span>";
    }
    html += "</td><td>";
    if (check->modifiable) html += Cell(check->new_value);
    // A noted change tried something else when the model had nothing to try.
    if (!check->attempted.is_null() && check->attempted != check->new_value)
      html += "<br><i>tried:</i> " + Cell(check->attempted);
    html += "</td>";
    html += "<td>";
    html += Unexpected(*check) ? std::string("<span class=\"mark\">UNEXPECTED</span>")
                               : std::string(OutcomeName(check->outcome));
    html += "</td><td>";
    if (!check->note.empty()) html += "<i>note:</i> " + Escape(check->note) + "<br>";
    html += Escape(check->message) + "</td><td>";
    if (check->read_back_error) {
      html += Escape(check->read_back_error->description());
    } else if (!check->read_back.is_null() || check->outcome == WriteOutcome::kWritten) {
      html += Cell(check->read_back);
    }
    html += "</td></tr>\n";
  }
  html += "</table></div>\n";
}

}  // namespace

std::string ReadWriteReportHtml(const std::vector<ReadWriteReport>& reports) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>tavora read/write test</title><style>";
  html += kStyle;
  html += "</style></head><body>\n<h1>tavora read/write test</h1>\n";
  html +=
      "<div class=\"scroll\"><table id=\"summary\"><tr><th>test</th><th>read</th><th>equal</th>"
      "<th>written</th><th>ok</th><th>refused as noted</th><th>unexpected</th><th>time</th>"
      "</tr>\n";
  for (const ReadWriteReport& report : reports) {
    const ReadWriteResult& r = report.result;
    const bool good = r.equal == r.read && r.unexpected == 0;
    html += std::string(good ? "<tr class=\"good\">" : "<tr class=\"bad\">") + "<td><a href=\"#" +
            Escape(report.test) + "\">" + Escape(report.test) + "</a></td><td>" +
            std::to_string(r.read) + "</td><td>" + std::to_string(r.equal) + "</td><td>" +
            std::to_string(r.written) + "</td><td>" + std::to_string(r.ok) + "</td><td>" +
            std::to_string(r.refused_as_noted) + "</td><td>" + std::to_string(r.unexpected) +
            "</td><td>" + Seconds(report.seconds) + "</td></tr>\n";
  }
  html += "</table></div>\n";
  for (const ReadWriteReport& report : reports) {
    const ReadWriteResult& r = report.result;
    html += "<h2 id=\"" + Escape(report.test) + "\">" + Escape(report.test) + "</h2>\n<p>" +
            std::to_string(r.read - r.equal) + " mismatches, " + std::to_string(r.unexpected) +
            " unexpected writes.</p>\n";
    std::vector<const PropertyCheck*> attention;
    for (const PropertyCheck& check : r.checks) {
      if (Mismatch(check) || Unexpected(check)) attention.push_back(&check);
    }
    if (!attention.empty()) {
      html += "<h3>Needs attention</h3>\n";
      ObjectTable(html, attention, true);
      html += "<h3>Every object</h3>\n";
    }
    // The checks of one object are consecutive: group them by path.
    size_t i = 0;
    while (i < r.checks.size()) {
      size_t end = i;
      std::vector<const PropertyCheck*> group;
      bool bad = false;
      while (end < r.checks.size() && r.checks[end].path == r.checks[i].path) {
        group.push_back(&r.checks[end]);
        bad = bad || Mismatch(r.checks[end]) || Unexpected(r.checks[end]);
        ++end;
      }
      html += std::string(bad ? "<details open>" : "<details>") + "<summary>" +
              PathText(r.checks[i].path) + " <span class=\"kind\">" +
              Escape(r.checks[i].class_name) + "</span>" +
              (bad ? " <span class=\"mark\">needs attention</span>" : "") + "</summary>\n";
      ObjectTable(html, group);
      html += "</details>\n";
      i = end;
    }
  }
  html += "</body></html>\n";
  return html;
}

}  // namespace host
