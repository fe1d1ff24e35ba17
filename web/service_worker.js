// The page offline once visited: every file of the build in a cache named after the build,
// answered from there first. scripts/web writes the build's name and its list of files in place
// of the two below; a new build is a new worker script, which the browser installs on the next
// visit and which drops the caches of the builds before it.
const BUILD = "unbuilt";
const FILES = ["./"];
const CACHE = `kvrn-lab-${BUILD}`;

// The files come from the server, not from the browser's HTTP cache, which may still hold the
// build before: a new build's cache must hold the new build's files.
self.addEventListener("install", (event) => {
    event.waitUntil(caches.open(CACHE)
                        .then((cache) => cache.addAll(
                            FILES.map((file) => new Request(file, {cache: "reload"}))))
                        .then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
    event.waitUntil(caches.keys()
                        .then((names) => Promise.all(names
                            .filter((name) => name.startsWith("kvrn-lab-") && name !== CACHE)
                            .map((name) => caches.delete(name))))
                        .then(() => self.clients.claim()));
});

self.addEventListener("fetch", (event) => {
    if (event.request.method !== "GET") return;
    event.respondWith(caches.open(CACHE)
                          .then((cache) => cache.match(event.request, {ignoreSearch: true}))
                          .then((hit) => hit ?? fetch(event.request)));
});
