#pragma once

namespace quorvel {

class TForm1;

// Windows' ways of ending the program from outside take the window's normal
// closing path (data.qvp and widths.qvf are written), as the end signals do
// on Linux: the end of the session (log-off, shutdown: WM_ENDSESSION) and
// the console's control events (Ctrl+C, Ctrl+Break, its window closed, and
// log-off or shutdown where those reach a console).
void closeOnWindowsSessionEnd(TForm1* window);

}  // namespace quorvel
