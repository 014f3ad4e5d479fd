// Whether the next position found may send an alert.
//
// The main window's timer 5 follows every first fix, whoever opened the port. Only two
// things may turn such a position into a message: a receiver search that the emergency
// procedure itself started (timer 1111), and the position the alert-sending test hands
// over. Every other search (the first-start question's, the GPS receiver test's) only
// shows the position. The permission is given by those two, and taken back by timer 5
// and by every end of a search that did not reach a position (receiver lost, position
// missed, no receiver on any port), by every search started for another purpose, and
// by a confirmation.
#pragma once

// Set on the GUI thread; the confirmation watcher takes it back from the radio thread.
void setSearchSendsAlert(bool sends);
bool searchSendsAlert();
