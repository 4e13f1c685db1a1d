#pragma once

// Lane-steps per second of the deep lanes' plain step arithmetic alone on one
// thread (no memory, no tests, independent vectors), on the instruction set
// the engine chooses: the lanes' loop's peak on this machine.
double laneStepPeak();
