// A switch over waiting for the disk, for the cases that measure saves both ways: with it off,
// fsync and fdatasync return at once, so a save costs what it costs without the wait that makes
// it safe. Linked into the benchmark and the probe only; the program always waits.
#pragma once

namespace SyncSwitch {

void setWaitForDisk(bool wait);

} // namespace SyncSwitch
