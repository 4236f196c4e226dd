#pragma once
// The administrator window's document: it holds no data; the window shows local
// pages only.

// The document template's string (resource 128).
inline constexpr char kDocTemplateString[] =
    "KOVARI\n\nKOVARI\n\n\nKOVARI.Document\nKOVARIDocument";

class CPCAppDoc {
  public:
    bool OnNewDocument() { return true; }
};
