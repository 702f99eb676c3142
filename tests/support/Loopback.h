#pragma once

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>

// 127.0.0.1 at port, for the sockets of the test DNS servers.
inline sockaddr_in LoopbackAddress(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}
