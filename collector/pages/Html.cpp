#include "collector/pages/Html.h"

#include <cstdio>

#include "collector/document/Digest.h"

namespace collector::pages {

void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\t': case '\n': case '\r': out += c; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) out += "\xEF\xBF\xBD";
        else out += c;
    }
  }
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text);
  return out;
}

std::string UrlEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

namespace {

std::string Scaled(double value, const char* const* units, const double* steps, size_t count) {
  size_t i = 0;
  while (i + 1 < count && value >= steps[i + 1]) ++i;
  char text[48];
  const double shown = value / steps[i];
  std::snprintf(text, sizeof text, shown < 10 && i > 0 ? "%.1f %s" : "%.0f %s", shown, units[i]);
  return text;
}

std::string Base64(std::string_view bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) out += kAlphabet[(v >> shift) & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace

std::string Bytes(int64_t bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  static const double kSteps[] = {1, 1024.0, 1024.0 * 1024, 1024.0 * 1024 * 1024, 1024.0 * 1024 * 1024 * 1024};
  return Scaled(static_cast<double>(bytes), kUnits, kSteps, 5);
}

std::string Millis(int64_t ms) {
  static const char* const kUnits[] = {"ms", "s", "min", "h"};
  static const double kSteps[] = {1, 1000, 60000, 3600000};
  return Scaled(static_cast<double>(ms), kUnits, kSteps, 4);
}

std::string PageStart(std::string_view title, Assets assets) {
  std::string out = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n";
  if (assets == Assets::kInline) {
    // A file has no response headers; its policy names the two inline blocks by digest.
    out += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'sha256-" +
           Base64(Sha256(kScript)) + "'; style-src 'sha256-" + Base64(Sha256(kStylesheet)) +
           "'; img-src 'none'; base-uri 'none'; form-action 'none'\">\n";
  }
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  AppendEscaped(out, title);
  out += "</title>\n";
  if (assets == Assets::kInline) {
    out += std::string("<style>") + kStylesheet + "</style>\n<script>" + kScript + "</script>\n";
  } else {
    out += std::string("<link rel=\"stylesheet\" href=\"") + kStylePath + "\">\n<script src=\"" + kScriptPath +
           "\" defer></script>\n";
  }
  out += "</head><body>\n";
  if (assets == Assets::kLinked) out += "<nav><a href=\"/\">Overview</a></nav>\n";
  out += "<main>\n";
  return out;
}

std::string PageEnd() { return "</main>\n</body></html>\n"; }

const char* const kStylesheet =
    "body{font:14px/1.4 system-ui,sans-serif;margin:0;color:#1d2330;background:#f6f7f9}"
    "nav{background:#243049;padding:.5em 1.5em}nav a{color:#fff;margin-right:1em}"
    "main{padding:1em 1.5em;max-width:1300px}h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.6em;"
    "border-bottom:1px solid #ccd}section{margin-bottom:1em}"
    "table{border-collapse:collapse;margin:.4em 0;background:#fff}th,td{border:1px solid #d5d8df;"
    "padding:2px 6px;text-align:left;vertical-align:top}th{background:#e9ecf2}"
    "table.sortable th{cursor:pointer}td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "pre{background:#fff;border:1px solid #d5d8df;padding:.5em;overflow:auto;max-height:30em;white-space:pre-wrap}"
    "details{margin-left:1em}summary{cursor:pointer}.note{color:#8a4b00;font-weight:600}"
    ".muted{color:#667}ul.tree{margin:.2em 0;padding-left:1.2em}.kv{color:#445}"
    "svg{background:#fff;border:1px solid #d5d8df;margin:.3em 0}svg text{font:11px sans-serif;fill:#333}"
    ".bar{fill:#4a78c2}.used{fill:#c2574a}.free{fill:#7cb87c}.p50{fill:#4a78c2}.p90{fill:#e0a030}"
    ".p99{fill:#c2574a}.line{fill:none;stroke-width:2}"
    ".s0{stroke:#4a78c2}.swatch.s0{fill:#4a78c2}.s1{stroke:#c2574a}.swatch.s1{fill:#c2574a}.s2{stroke:#3a9a5a}.swatch.s2{fill:#3a9a5a}.s3{stroke:#9050b0}.swatch.s3{fill:#9050b0}.s4{stroke:#e0a030}.swatch.s4{fill:#e0a030}.s5{stroke:#2a9aa8}.swatch.s5{fill:#2a9aa8}.s6{stroke:#b0508a}.swatch.s6{fill:#b0508a}.s7{stroke:#6a6a2a}.swatch.s7{fill:#6a6a2a}.s8{stroke:#d07020}.swatch.s8{fill:#d07020}.s9{stroke:#505a70}.swatch.s9{fill:#505a70}.grid{stroke:#e4e6ec}.swatch.p50{fill:#4a78c2}.dot{fill:#fff;stroke-width:2}figure{margin:.5em 0}.axis{stroke:#889}.filters a{margin-right:.8em}.error{color:#a00}"
    // Long command lines, paths and values wrap: no page scrolls sideways.
    "table{max-width:100%}td,th,li,summary,.fname,caption{overflow-wrap:anywhere}pre{overflow-wrap:anywhere}"
    "svg{max-width:100%;height:auto}.none{color:#667;font-style:italic}input.filter{width:22em;padding:3px}"
    "table.properties th{width:16em}table.properties{min-width:40em}caption{text-align:left;font-weight:600}"
    "tr.added td:first-child,.add{color:#17692e}tr.removed td:first-child,.del{color:#a3261b}"
    "tr.changed td:first-child{color:#8a4b00}pre.diff{margin:0}.links a{margin-right:1.2em}"
    "table.changes{table-layout:fixed;width:100%}th.c-change{width:5.5em}th.c-key{width:30%}th.c-field{width:11em}"
    "table.header th{width:8em}.nochange{font-size:1.1em;font-weight:600;color:#17692e}[hidden]{display:none}"
    "nav form{float:right;margin:0}form.signin label{display:block;margin:.5em 0}";

const char* const kScript =
    "document.addEventListener('DOMContentLoaded',function(){"
    "document.querySelectorAll('table.sortable').forEach(function(t){t.dataset.ready='1';"
    "t.querySelectorAll('th').forEach(function(h,i){h.addEventListener('click',function(){"
    "var b=t.tBodies[0],r=Array.prototype.slice.call(b.rows),d=h.dataset.dir==='a'?-1:1;h.dataset.dir=d>0?'a':'d';"
    "r.sort(function(x,y){var p=x.cells[i].dataset.v||x.cells[i].textContent,"
    "q=y.cells[i].dataset.v||y.cells[i].textContent,m=parseFloat(p),n=parseFloat(q);"
    "return d*(!isNaN(m)&&!isNaN(n)?m-n:p.localeCompare(q));});"
    "r.forEach(function(e){b.appendChild(e);});});});});"
    // Filter boxes: rows, list items and files whose text holds the query
    // stay; folders open to show what matched. '#filter=TEXT' fills them in.
    "function f(i){var c=document.getElementById(i.dataset.for),q=i.value.toLowerCase();if(!c)return;"
    "var m=function(e,t){e.hidden=q!==''&&t.toLowerCase().indexOf(q)<0;return !e.hidden;};"
    "c.querySelectorAll('tbody tr').forEach(function(r){m(r,r.textContent);});"
    "c.querySelectorAll('li').forEach(function(l){m(l,l.textContent);});"
    "c.querySelectorAll('div.file').forEach(function(d){m(d,d.querySelector('.fname').textContent);});"
    "Array.prototype.slice.call(c.querySelectorAll('details')).reverse().forEach(function(d){"
    "var v=q===''||d.querySelector('summary').textContent.toLowerCase().indexOf(q)>=0||"
    "d.querySelector(':scope>div.file:not([hidden]),:scope>details:not([hidden])')!==null;"
    "d.hidden=!v;d.open=q!==''&&v;});i.dataset.ready='1';}"
    "var h=location.hash.indexOf('#filter=')===0?decodeURIComponent(location.hash.slice(8)):'';"
    "document.querySelectorAll('input.filter').forEach(function(i){i.addEventListener('input',function(){f(i);});"
    "if(h){i.value=h;f(i);}});});";

}  // namespace collector::pages
