#!/usr/bin/env bash
# Opens the screenshot log in headless Chromium the way a player would: the
# log, each page it links to and each picture on those pages, which must load
# and decode as images.
#   check_html_log.sh TG_FOLDER EXPECTED_PAGES
set -euo pipefail
folder=$(cd "$1" && pwd)
expected=$2
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "FAIL: no chromium to open the screenshot log (scripts/setup.sh installs it)" >&2; exit 1; }
page="$folder/.log_check.htm"
trap 'rm -f "$page"' EXIT
cat >"$page" <<'HTML'
<html><body><pre id=result>running</pre><script>
function open(url) {
  return new Promise(done => {
    const frame = document.createElement('iframe');
    frame.onload = () => done(frame);
    frame.src = url;
    document.body.appendChild(frame);
  });
}
(async () => {
  let pages = 0, images = 0, decoded = 0;
  try {
  const log = await open('tgsslog.htm');
    for (const link of log.contentDocument.querySelectorAll('a')) {
    const frame = await open(link.href);
    if (frame.contentDocument.images.length > 0) ++pages;
    for (const image of frame.contentDocument.images) {
      ++images;
      if (!image.complete) await new Promise(done => { image.onload = image.onerror = done; });
      if (image.naturalWidth > 0) ++decoded;
    }
  }
  document.getElementById('result').textContent = `pages ${pages}, images ${images}, decoded ${decoded}`;
  } catch (error) {
    document.getElementById('result').textContent = `error ${error}`;
  }
})();
</script></body></html>
HTML
out=$(timeout 60 "$browser" --headless --no-sandbox --disable-gpu --allow-file-access-from-files \
  --virtual-time-budget=10000 --dump-dom "file://$page" 2>/dev/null || true)
result=$(printf '%s\n' "$out" | sed -n 's/.*<pre id="result">\([^<]*\)<\/pre>.*/\1/p')
echo "screenshot log in chromium: ${result:-no result}"
[ "$result" = "pages $expected, images $expected, decoded $expected" ] \
  || { echo "FAIL: the screenshot log's pages or pictures do not load in a browser" >&2; exit 1; }
