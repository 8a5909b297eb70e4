#include "utils/text/html2ubb.h"

#include "platform/system/scriptcontrol.h"

namespace {

// The conversion program. The fragment arrives in the global `html2UbbInput`
// and the result is left in the global `ret`.

// A record of a scanned tag: its position and the attribute flags.
const wchar_t kItem[] =
    LR"js(
function item(pos, font, face, size, color) {
  this.pos = pos; this.font = font; this.face = face; this.size = size; this.color = color;
}
var fontlist = [], fontclose = [], anchorlist = [];
)js";

// Opening FONT tags with their FACE, SIZE and COLOR flags; each closing FONT
// tag takes the flags of the latest unpaired opening tag before it.
const wchar_t kDoFont[] =
    LR"js(
function do_font(text) {
  var upper = text.toUpperCase(), m, re, i, j;
  fontlist = []; fontclose = [];
  re = /<FONT\b[^>]*>?/g;
  while ((m = re.exec(upper)) != null) {
    var tag = m[0];
    fontlist.push(new item(m.index, true, tag.indexOf("FACE") >= 0, tag.indexOf("SIZE") >= 0, tag.indexOf("COLOR") >= 0));
  }
  re = /<\/FONT>/g;
  while ((m = re.exec(upper)) != null) {
    var found = new item(m.index, false, false, false, false);
    for (j = fontlist.length - 1; j >= 0; j--) {
      if (fontlist[j].pos < m.index && fontlist[j].font) {
        fontlist[j].font = false;
        found.face = fontlist[j].face; found.size = fontlist[j].size; found.color = fontlist[j].color;
        break;
      }
    }
    fontclose.push(found);
  }
}
)js";

// Anchors in order: mail anchors keep their address in `font`, link anchors
// hold null there.
const wchar_t kDoAnchor[] =
    LR"js(
function do_anchor(text) {
  var upper = text.toUpperCase(), pos = 0, start, end, tag;
  anchorlist = [];
  while ((start = upper.indexOf("<A HREF", pos)) >= 0) {
    end = upper.indexOf(">", start);
    tag = end < 0 ? upper.substring(start) : upper.substring(start, end);
    var address = null;
    if (tag.indexOf("MAILTO:") >= 0) {
      address = tag.replace("<A HREF=MAILTO:", "").replace("\"", "").replace("'", "").toLowerCase();
    }
    anchorlist.push(new item(start, address, false, false, false));
    pos = start + 1;
  }
}
)js";

const wchar_t kHtml2Ubb[] =
    LR"js(
function html2Ubb(bbcodetext) {
  var t = bbcodetext, i;
  function lit(s) { return function () { return s; }; }
  t = t.replace(/<span[^>]*?style="color:([^\s"']+)[^>]*>([\s\S]*?)<\/span>/gi, "[color=$1]$2[/color]");
  t = t.replace(/<div[^>]*class="htmlcode">([\s\S]*?)<\/div>/gi, "[code]$1[/code]");
  do_font(t);
  t = t.replace(/<script[^>]*>/gi, "<textarea>");
  t = t.replace(/<\/script>/gi, "</textarea>");
  t = t.replace(/ = /g, "=");
  t = t.replace(/=["']/g, "=");
  t = t.replace(/<param name=movie[^>]*value=/gi, "<movie=");
  var names = ["border", "target", "classid", "id", "name", "style", "class", "alt", "title"];
  for (i = 0; i < names.length; i++) {
    t = t.replace(new RegExp(" " + names[i] + "=[^\"'>]*[\"'>]", "gi"), "");
  }
  do_anchor(t);
  t = t.replace(/<br>/gi, "\r\n");
  t = t.replace(/<br[^>]*\/>/gi, "\r\n");
  t = t.replace(/<p>/gi, "\r\n");
  t = t.replace(/<p\s[^>]*>/gi, "\r\n");
  t = t.replace(/<code>/gi, "[code]");
  t = t.replace(/<\/code>/gi, "[/code]");
  t = t.replace(/<blockquote>/gi, "[quote]");
  t = t.replace(/<\/blockquote>/gi, "[/quote]");
  t = t.replace(/<ul(\s[^>]*)?>/gi, "[list]");
  t = t.replace(/<\/ul>/gi, "[/list]");
  t = t.replace(/<ol(\s[^>]*)?>/gi, "[list=1]");
  t = t.replace(/<\/ol>/gi, "[/list]");
  t = t.replace(/<li>/gi, "[*]");
  t = t.replace(/<img[^>]*?src=([^"]*?)"[^>]*>/gi, "[img]$1[\/img]");
  t = t.replace(/<img[^>]*?src=([^']*?)'[^>]*>/gi, "[img]$1[\/img]");
  t = t.replace(/<big>/gi, "[b]");
  t = t.replace(/<\/big>/gi, "[/b]");
  t = t.replace(/<b>/gi, "[b]");
  t = t.replace(/<\/b>/gi, "[/b]");
  t = t.replace(/<u>/gi, "[u]");
  t = t.replace(/<\/u>/gi, "[/u]");
  t = t.replace(/<i>/gi, "[i]");
  t = t.replace(/<\/i>/gi, "[/i]");
  t = t.replace(/<font face[^"'>]*["'>]/gi, "<FONT");
  t = t.replace(/ face=[^"']*["']/gi, "");
  t = t.replace(/<pre(\s[^>]*)?>/gi, "[code]");
  t = t.replace(/<\/pre>/gi, "[/code]");
  t = t.replace(/<textarea(\s[^>]*)?>/gi, "[code2]");
  t = t.replace(/<\/textarea>/gi, "[/code2]");
  t = t.replace(/<strong>/gi, "[b]");
  t = t.replace(/<\/strong>/gi, "[/b]");
  t = t.replace(/<tr(\s[^>]*)?>/gi, "\r\n");
  t = t.replace(/<t[dh](\s[^>]*)?>/gi, " ");
  t = t.replace(/<\/t[rdh]>/gi, " ");
  t = t.replace(/<font size=/gi, "[size=");
  t = t.replace(/<font color=/gi, "[color=");
  t = t.replace(/ color=/gi, "][color=");
  t = t.replace(/ size=/gi, "][size=");
  for (i = 0; i < fontclose.length; i++) {
    t = t.replace(/<\/font>/i, (fontclose[i].color ? "[/color]" : "") + (fontclose[i].size ? "[/size]" : ""));
  }
  for (i = 0; i < anchorlist.length; i++) {
    if (anchorlist[i].font == null) {
      t = t.replace(/<a href/i, "[url");
      t = t.replace(/<\/a>/i, "[/url]");
    } else {
      t = t.replace(/<a href[^<]*<\/a>/i, lit(anchorlist[i].font));
    }
  }
  t = t.replace(/<[^>]*>/g, "");
  t = t.replace(/>/g, "]");
  t = t.replace(/['"]\]/g, "]");
  t = t.replace(/&nbsp;/g, " ");
  t = t.replace(/&lt;/g, "<");
  t = t.replace(/&gt;/g, ">");
  t = t.replace(/&amp;/g, "&");
  t = t.replace(/&quot;/g, "\"");
  t = t.replace(/&ldquo;/g, "\u201c");
  t = t.replace(/&rdquo;/g, "\u201d");
  return t;
}
var ret = html2Ubb(html2UbbInput);
)js";

}  // namespace

CString Html2Ubb(const CString &html) {
  CString script;
  for (const wchar_t *part : {kItem, kDoFont, kDoAnchor, kHtml2Ubb}) script += part;

  CScriptControl control;
  if (!control.CreateDispatch(L"MSScriptControl.ScriptControl")) return CString();
  control.SetLanguage(L"JScript");

  // Line ends carry no meaning in HTML; the breaks come from the tags.
  CString input = html;
  input.Replace(L"\r\n", L"");
  input.Replace(L"\n", L"");
  input.Replace(L"\r", L"");
  control.SetGlobalText("html2UbbInput", input);
  control.AddCode(script);
  return control.Eval(L"ret");
}
