// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the page, its script and the core, so that once opened the page works offline: each
// request is answered from the network when it answers, else from what was kept.
'use strict';

const kCache = 'rdn417-config-v1';
const kFiles = ['./', 'index.html', 'page.js', 'page.css', 'core.js', 'core.wasm',
                'manifest.webmanifest', 'icons/rdn417-config-256.png', 'icons/rdn417-config.svg'];

self.addEventListener('install', (event) => {
    event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(kFiles)));
    self.skipWaiting();
});

self.addEventListener('activate', (event) => {
    event.waitUntil(caches.keys()
        .then((names) => Promise.all(names.filter((name) => name !== kCache)
            .map((name) => caches.delete(name))))
        .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
    if (event.request.method !== 'GET')
        return;
    event.respondWith(fetch(event.request)
        .then((response) => {
            if (response.ok) {
                const copy = response.clone();
                caches.open(kCache).then((cache) => cache.put(event.request, copy));
            }
            return response;
        })
        .catch(() => caches.match(event.request, {ignoreSearch: true})
            .then((kept) => kept || Promise.reject(new Error('offline and not kept')))));
});
