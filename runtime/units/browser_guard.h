// What a hidden HTML viewer lets the documents it opens do. The viewer's
// address may come from the network (the lookup hands it the audio address of
// a record fetched over plain http), so a document the viewer loads while its
// unit is hidden runs no scripts, Java, ActiveX controls or behaviours and
// follows no client-side refresh, and while the unit is hidden no document
// opens a window or goes anywhere but to http: and https: addresses.
// Downloads are untouched: a download address is fetched and played or
// offered for saving as the browser always does, with its prompts (the guard
// never makes the browser silent). A viewer that is shown is a page for the
// user and gets the browser's own defaults.
// The browser reads what a document may run when it downloads the document,
// so showing or hiding the unit changes that for documents loaded from then
// on: a page loaded while the unit was shown keeps running its scripts after
// the unit is hidden, until the viewer navigates again (no window and no
// address outside http(s) for it all the same), and a page loaded while
// hidden stays held back once shown.
#pragma once

#include <windows.h>

#include <exdisp.h>

#include <string>

class BrowserGuard;

// Puts the guard on `browser`, hosted by the container whose site is the
// browser's client site now, for the unit whose window is `unitWindow` (its
// own visible style decides hidden or shown). Where the browser offers no
// event connection only its documents are restricted (no new windows or
// addresses are refused then).
BrowserGuard* GuardBrowser(IWebBrowser2* browser, IUnknown* containerHost, HWND unitWindow);

// Takes the guard off (before the browser is released) and frees it.
void UnguardBrowser(BrowserGuard* guard);

// The runtime's own navigation to an address outside http: and https: (the
// design-time preview page; empty for any other): the guard lets exactly that
// address through until the runtime navigates again.
void AllowOwnNavigation(BrowserGuard* guard, const std::wstring& address);

// The unit was shown or hidden: the browser asks again for what the documents
// it loads from now on may do.
void BrowserGuardVisibilityChanged(BrowserGuard* guard);

// Whether a navigation to `address` may go ahead in a hidden viewer: http: and
// https: only (the scheme compared without regard to case, as URL schemes are).
bool GuardedViewerMayOpen(const wchar_t* address);
