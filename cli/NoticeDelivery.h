#pragma once
// Where a notice of a scheduled run that went wrong is delivered: the
// desktop's notifications service on the user's session bus, else a line at
// warning level in the user's systemd journal; and a mail when an address is
// set. Part of the program only (Qt D-Bus and processes), not of the library.

#include "cli/RunNotice.h"

#include <string>

// Through org.freedesktop.Notifications on the session bus. Returns "" once
// the service took it, else why not (no bus, no service, no answer).
std::string ShowDesktopNotification(const RunNotice& notice);

// One line at warning level in the user's journal: on standard error with
// the journal's level prefix when standard error is the journal (as under the
// service manager), else through systemd-cat, else plainly on standard error.
void WarnInUserJournal(const RunNotice& notice);

// Hands a mail to the system's sendmail. Returns "" or why it could not.
std::string MailNotice(const std::string& address, const RunNotice& notice);
