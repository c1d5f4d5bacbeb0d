// The run sequence: driver requests, banner, registry phase, drive loop and verdict.
#pragma once

// The program: brackets the run with two identical driver requests and takes the optional path
// from the first argument; further arguments are ignored. Returns the exit code, always 0.
int RemoverMain(int argc, char** argv);

// Sends the resident driver its one control request, if the driver is there; never fails visibly.
void NotifyResidentDriver();

// Runs the whole removal over every fixed drive, or over `path` alone when it is given.
// Returns 0.
int RunRemoval(const char* path);

// The longest path argument the drive buffer holds, without its terminating zero.
const int kDriveBufferSize = 200;
const int kMaxPathArgument = kDriveBufferSize - 1;
