#pragma once

// The few file calls that differ between systems; one file per system.

namespace lk58::config {

// Makes what was written through `handle` durable; 0, or the system's
// error number (a full disk may only say so here).
int SyncToDisk(int handle);

} // namespace lk58::config
