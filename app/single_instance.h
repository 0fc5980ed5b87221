#pragma once

#include <QString>

// A shared-memory segment left behind by an instance that crashed or was killed would refuse every
// later start. Attaching and detaching removes such an orphan (the last detach deletes it) and
// leaves a segment that a live instance holds untouched.
void release_orphaned_segment(const QString &key);
