// The flag through which a signal or a vanished reader asks the show to end.
#pragma once

// Asks the show to end as on a quit request; safe in a signal handler.
void requestEnd();

// True once a hang-up or a vanished reader asked the show to end.
bool endRequested();
