#pragma once

namespace testing_support {

// A TCP port for a program under test to listen on, this test process's own until it
// ends. Probing a port and letting it go left it to whoever came next, and tests run
// side by side in many processes: so the ports come from a range just below the
// kernel's ephemeral ports (which it hands to client sockets and binds to port 0, so
// neither takes one in between), each claimed for this process by a name only one
// process can hold (an abstract Unix socket, which goes with the process however it
// ends), and each free for the program's bind when handed out.
int FreePort();

}  // namespace testing_support
