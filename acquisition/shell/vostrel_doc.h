#pragma once
// The program's single document. It holds no data: acquisition state lives in
// the view, and nothing is ever loaded or saved through the document.

class CVostrelDoc {
public:
    bool OnNewDocument() { return true; }
    bool IsModified() const { return false; }
};
