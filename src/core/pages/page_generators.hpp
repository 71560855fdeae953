#pragma once

namespace mev {

class CPageProtocol;

// The page workers, one per URL host, each run once on its request's worker thread.
// Paths from the argument reach the page only escaped: as percent-encoded file:// URLs
// in attributes, and as HTML-escaped text.
void GenerateIndexPage(CPageProtocol& protocol);  // "images": thumbnails of a folder
void GenerateImagePage(CPageProtocol& protocol);  // "image": one picture
void GenerateAudioPage(CPageProtocol& protocol);  // "audio"
void GenerateVideoPage(CPageProtocol& protocol);  // "video" (and Flash)
void GenerateFixedPage(CPageProtocol& protocol);  // "front", "blank": a fixed template

// Sends the template with its first '?' replaced by the argument's file:// URL; sends
// nothing when the template is missing or has no '?'.
bool AppendTemplateWithUrl(CPageProtocol& protocol, int templateId);

} // namespace mev
