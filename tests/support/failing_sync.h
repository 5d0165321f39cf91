// Makes the storage report an error when the editor syncs the file: the unit tests link with
// fsync wrapped (-Wl,--wrap=fsync), so that a failed sync can be tried on any file.
#pragma once

// While on, every fsync fails with EIO and syncs nothing.
void fail_syncs(bool on);
