#include "live/LivePage.h"

std::string_view livePage() {
    return R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>kavriWebCam live view</title>
<style>
body { font-family: sans-serif; margin: 1em; background: #f4f4f4; color: #222; }
img { max-width: 100%; border: 1px solid #888; background: #444; }
section { display: inline-block; vertical-align: top; margin: 0 1em 1em 0; }
pre { white-space: pre-wrap; }
</style>
</head>
<body>
<h1>kavriWebCam</h1>
<section><h2>Live</h2><img id="live" src="/stream" alt="live camera"><p id="liveSize"></p></section>
<section><h2>Newest picture</h2><img id="newest" src="/image.jpg" alt="newest picture"><p id="newestSize"></p></section>
<section><h2>Health</h2><pre id="health">...</pre></section>
<script>
function refresh() {
  fetch("/status", {cache: "no-store"}).then(function (answer) { return answer.json(); })
    .then(function (status) {
      var lines = [];
      ["camera", "jpegFile", "upload"].forEach(function (part) {
        lines.push(part + ": " + status[part].state + (status[part].line ? " (" + status[part].line + ")" : ""));
      });
      document.getElementById("health").textContent = lines.join("\n");
      if (status.image) {
        document.getElementById("newest").src = "/image.jpg?" + status.image.written;
      }
    }).catch(function () {});
}
function sizes() {
  ["live", "newest"].forEach(function (id) {
    var image = document.getElementById(id);
    document.getElementById(id + "Size").textContent =
      image.naturalWidth ? image.naturalWidth + " x " + image.naturalHeight : "";
  });
}
refresh();
setInterval(refresh, 5000);
setInterval(sizes, 500);
</script>
</body>
</html>
)page";
}
