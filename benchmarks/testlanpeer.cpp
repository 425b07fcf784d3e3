// The peers of the private test LAN (scripts/isolate.sh --lan): one socket on the Orvex port of
// every peer address, read and dropped, so a benchmark's datagrams end in a socket as they do
// on a real installation instead of being thrown away at the peer's link. Runs until killed.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : 6038;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    // Room for a whole frame of datagrams between two reads.
    const int buffer = 16 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(static_cast<unsigned short>(port));
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr *>(&any), sizeof any) != 0) {
        std::perror("testlanpeer");
        return 1;
    }
    char datagram[2048];
    for (;;)
        recv(fd, datagram, sizeof datagram, 0);
}
