#pragma once
// The two menu entries: their labels (the second one carries the current time
// zone) and what choosing one does. Both actions run after the screen has been
// handed back to the terminal and never return.

#include <cstddef>
#include <string>

/// Menu labels, also the catalogue keys of the entries: "Login" and
/// "Set Timezone", the latter rewritten once at start-up with the zone.
extern char choices[2][64];

/// Carries out the entry whose (translated) label is name: replaces the process
/// with the login program or the time-zone tool (which gets the console's
/// system root as KESP_SYSTEM_ROOT when one is set). Returns only when the name
/// matches no entry or the program cannot be started; lastActionFailure()
/// then says why, and the console goes on.
void menu_handler(const char* name);

namespace kesp_console {

/// Why the last menu_handler call returned ("<program>: <system's reason>");
/// empty before any failure.
const std::string& lastActionFailure();

/// Writes the abbreviation of the current local time zone (e.g. "UTC") into
/// buffer, always terminated; the translated "Unknown" when there is none.
void currentZoneName(char* buffer, std::size_t size);

/// Rewrites choices[1] as "<translated Set Timezone> (Current:<zone>)", cut to
/// 62 bytes without splitting a character. Called once, before the menu exists.
void rewriteTimezoneLabel();

/// Cuts an incomplete multibyte character (of the current locale) off the end
/// of text, as a byte-limited copy may leave one.
void dropIncompleteCharacter(char* text);

/// Asks for a user name on standard input and replaces the process with
/// "/bin/login -- <name>" on the terminal behind standard input. When that
/// terminal cannot be opened the current descriptors are kept. Returns only
/// when the login program could not be started.
void runLoginAction();

}  // namespace kesp_console
