// Records message boxes instead of showing them: user32!MessageBoxW is
// redirected for the whole process to a function that journals
//   MESSAGEBOX owner=<hex> caption=<text> style=<hex> text=<text>
// and answers with the box's first button (IDOK for MB_OK and MB_OKCANCEL).
#pragma once

namespace QmHost {

// Writes a 5-byte relative jump over MessageBoxW's entry. False if the
// entry cannot be found or written.
bool InstallMessageBoxRecorder();

// The answer a recorded box gives for its style: its first button.
int FirstButtonOf(unsigned style);

} // namespace QmHost
