#pragma once
// Whether a person is watching: a status line that rewrites itself belongs
// on a terminal, never in a file or a front end's pipe.

namespace qv::platform {

bool standard_error_is_terminal();

}  // namespace qv::platform
