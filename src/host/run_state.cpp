#include "host/run_state.h"

run_state_t run_state;
