#include "utils/text/html2ubb.h"

#include <gtest/gtest.h>

#include "tests/support/print_cstring.h"

namespace {

struct Case {
  const wchar_t *html;
  const wchar_t *ubb;
};

TEST(Html2UbbTest, ConvertsTagsByTheRules) {
  const Case cases[] = {
      {L"<b>x</b><br>", L"[b]x[/b]\r\n"},
      {L"<a href=\"page.htm\">here</a>", L"[url=page.htm]here[/url]"},
      {L"<A HREF=\"mailto:Bob\">write to me</A>", L"bob"},
      {L"<font color=red size=3>x</font>", L"[color=red][size=3]x[/color][/size]"},
      {L"<font color=\"red\" size=\"3\">x</font>", L"[color=red][size=3]x[/color][/size]"},
      // Closing tags take the flags of their own opening tag when nested.
      {L"<font size=2>a<font color=blue>b</font>c</font>", L"[size=2]a[color=blue]b[/color]c[/size]"},
      {L"<font face=\"Arial\">x</font>", L"x"},
      {L"x</font>y", L"xy"},  // a closing tag without an opening one
      // Anchors are taken in order, mail and link mixed.
      {L"<a href=\"p.htm\">p</a> or <a href='mailto:Ann@Example.org'>mail</a>",
       L"[url=p.htm]p[/url] or ann@example.org"},
      {L"<span style=\"color:#ff0000\">red</span>", L"[color=#ff0000]red[/color]"},
      {L"<div class=\"htmlcode\">int a;</div>", L"[code]int a;[/code]"},
      {L"<I>i</I><u>u</u><strong>s</strong><big>g</big>", L"[i]i[/i][u]u[/u][b]s[/b][b]g[/b]"},
      {L"<img src=\"a.png\" border=\"0\">", L"[img]a.png[/img]"},
      {L"<img src='b.gif'>", L"[img]b.gif[/img]"},
      {L"<ul><li>a<li>b</ul><ol type=\"1\"><li>c</ol>", L"[list][*]a[*]b[/list][list=1][*]c[/list]"},
      {L"<blockquote>q</blockquote><code>c</code><pre class=\"x\">p</pre>",
       L"[quote]q[/quote][code]c[/code][code]p[/code]"},
      {L"<script type=\"text/javascript\">go()</script>", L"[code2]go()[/code2]"},
      {L"<table><tr><td>1</td><th>2</th></tr></table>", L"\r\n 1  2  "},
      {L"<p align=\"center\">a<br/>b<p>c", L"\r\na\r\nb\r\nc"},
      {L"<a href=\"x.htm\" target=\"_blank\" title=\"t\">go</a>", L"[url=x.htm]go[/url]"},
      {L"<em>e</em><unknown attr=1>", L"e"},
      {L"&lt;b&gt; &amp;amp; &quot;q&quot;&nbsp;&ldquo;x&rdquo;", L"<b> &amp; \"q\" “x”"},
  };
  for (const Case &c : cases) EXPECT_EQ(Html2Ubb(c.html), CString(c.ubb)) << c.html;
}

TEST(Html2UbbTest, InputTextReachesTheScriptUnchanged) {
  const Case cases[] = {
      // Line ends disappear; only tags make breaks.
      {L"a\r\nb\nc\rd", L"abcd"},
      // Quotes and apostrophes survive the hand-over.
      {L"it's \"fine\"", L"it's \"fine\""},
      // Backslashes are text, not escapes, and one at the end is no error.
      {L"C:\\new\\table \\", L"C:\\new\\table \\"},
      {L"'); ret = 1; ('", L"'); ret=1; ('"},  // " = " closes up by the rules
      // Characters beyond the basic plane come back whole.
      {L"<b>价格 \U0001F600</b>", L"[b]价格 \U0001F600[/b]"},
      {L"", L""},
  };
  for (const Case &c : cases) EXPECT_EQ(Html2Ubb(c.html), CString(c.ubb)) << c.html;
}

}  // namespace
