// The page's service worker: it keeps the page's files so that, once loaded,
// the page opens without the network. The build names the cache after a hash
// of the files (@VERSION@ below), so a new build is a new worker with its own
// cache, filled afresh from the server, never from the browser's HTTP cache.
// The page tells a new worker to take over once it has loaded all of its own
// files, so no page ever mixes two builds; the old cache goes with the old
// worker.
'use strict';

var CACHE = 'bumpmap-@VERSION@';
// The files it keeps, filled in by the build (@FILES@) from the list whose
// hash names the cache.
var FILES = ['./'].concat('@FILES@'.split(' '));

self.addEventListener('install', function (event) {
  event.waitUntil(caches.open(CACHE).then(function (cache) {
    return cache.addAll(FILES.map(function (file) {
      return new Request(file, { cache: 'reload' });
    }));
  }));
});

self.addEventListener('message', function (event) {
  if (event.data === 'take-over') self.skipWaiting();
});

self.addEventListener('activate', function (event) {
  event.waitUntil(caches.keys().then(function (names) {
    return Promise.all(names.filter(function (name) {
      return name.startsWith('bumpmap-') && name !== CACHE;
    }).map(function (name) { return caches.delete(name); }));
  }).then(function () { return self.clients.claim(); }));
});

// The page's own files from the cache (whatever the address's query, such as
// ?compare); anything else from the network.
self.addEventListener('fetch', function (event) {
  if (event.request.method !== 'GET') return;
  event.respondWith(caches.open(CACHE).then(function (cache) {
    return cache.match(event.request, { ignoreSearch: true });
  }).then(function (kept) {
    return kept || fetch(event.request);
  }));
});
