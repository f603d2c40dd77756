// Keeps the page's files, so that the page loads and works offline once it
// has loaded: each request goes to the network first and to the copy kept
// here when the network fails. Nothing else is fetched or sent.
const CACHE = "pelmora-page";
const FILES = ["./", "index.html", "style.css", "app.js", "adif.js", "worker.js",
  "pelmora/index.js", "pelmora/pelmora.wasm"];

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});
self.addEventListener("activate", (event) => event.waitUntil(self.clients.claim()));
self.addEventListener("fetch", (event) => {
  const request = event.request;
  if (request.method !== "GET" || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(fetch(request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      caches.open(CACHE).then((cache) => cache.put(request, copy));
    }
    return response;
  }).catch(() => caches.match(request, { ignoreSearch: true }).then((kept) => kept ?? Response.error())));
});
