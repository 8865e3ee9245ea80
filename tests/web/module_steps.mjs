// When the module's rows come, from the native player's own following of it
// (`velmor-module --check`, one line per card: card, order, row, seconds):
// the rows between two card steps are evenly timed. Returns the show's time,
// in seconds, at a heard position (order in the low 16 bits, row above).
import assert from 'node:assert/strict';
import fs from 'node:fs';

export function rowTimes(stepsFile) {
  const steps = [{ row: 0, seconds: 0 }];
  for (const line of fs.readFileSync(stepsFile, 'utf8').split('\n')) {
    const m = /^\s*\d+\s+(\d+)\s+(\d+|any)\s+([0-9.]+)\s*$/.exec(line);
    if (m) steps.push({ row: Number(m[1]) * 256 + (m[2] === 'any' ? 0 : Number(m[2])),
      seconds: Number(m[3]) });
  }
  assert.ok(steps.length > 10, `no card steps in ${stepsFile}`);
  return (position) => {
    const row = (position & 0xffff) * 256 + (position >>> 16);
    const i = Math.max(0, steps.findLastIndex((s) => s.row <= row));
    const a = steps[Math.min(i, steps.length - 2)], b = steps[Math.min(i, steps.length - 2) + 1];
    return a.seconds + (row - a.row) * (b.seconds - a.seconds) / (b.row - a.row);
  };
}
