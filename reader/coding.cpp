#include "coding.h"

// Decoding is inline in the header: it runs for every child of every master.
