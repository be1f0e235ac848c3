#include "state/run_state.h"

run_state_t run_state;
