// What the shared table's tests reach that the program never needs.
#pragma once

// Forgets the cached address of NtQueryInformationProcess, so that a test
// sees the lookup again.
void ResetQueryFunctionCache();
