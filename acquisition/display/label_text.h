#pragma once
// Electrode labels are raw bytes from the electrode file: UTF-8 from files made
// on this system, GBK from the montages made for the original workstation.

#include <QString>

// The label as text: UTF-8 when the bytes are valid UTF-8, else decoded as GBK.
// Bytes that neither decodes (a GBK character cut in half by the 19-byte
// limit, say) are dropped rather than shown as garbage.
QString LabelText(const char* label);
