// The signature test: whether one file is a known worm file, by exact size and CRC-32.
#pragma once

// Fills the CRC-32 table; the run does this once, before any file is tested.
void Crc32BuildTable();
