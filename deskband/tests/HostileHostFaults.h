#pragma once

// What the hostile host (HostileHost.cpp) reports in its exit code: 0, or these bits.
const int HOSTILE_FAULT_USAGE = 0x01;
const int HOSTILE_FAULT_NO_BAND = 0x02;      // no utility window in the band's process
const int HOSTILE_FAULT_NO_ANSWER = 0x04;    // a message was not answered in time
const int HOSTILE_FAULT_WRONG_ANSWER = 0x08; // 9925 to 9927 answered differently
const int HOSTILE_FAULT_BAD_SNAPSHOT = 0x10; // a block the reference host rejects
const int HOSTILE_FAULT_NESTED = 0x20;       // a snapshot arrived while another was handled
const int HOSTILE_FAULT_LOST_HOST = 0x40;    // a host registered while another hung got nothing
