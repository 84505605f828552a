#pragma once
// The frame guard's waits where a reader and writers meet: a reader behind a
// writer's copy (at most about one copy), a writer behind a writer, and the
// moments a reader and a writer give up on a holder that never lets go.
// Printed, not asserted: they depend on how the machine schedules threads.
void MeasureLockWaits();
