// How the server answered a request: it did what was asked, it refused (the reason says why), or
// the connection is lost and the server may be gone.
#pragma once

enum class Reply {
    Done,
    Refused,
    Lost,
};
