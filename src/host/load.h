// Loading the working image when it is thinned (f > 1).
#pragma once

// Copies every f-th pixel of the delivered host row (src_row) into working row
// rows_loaded of the working copy (src_base).
void load_working_row();
