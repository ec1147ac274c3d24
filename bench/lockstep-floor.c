/* The floor under a lock-step TFTP transfer on loopback: one datagram each
 * way per 512-byte block, blocking calls, no timers, no event loop.
 *
 *   lockstep-floor floor SIZE ROUNDS       a bare C server (a child process)
 *                                          and client, SIZE-byte image
 *   lockstep-floor fetch PORT NAME ROUNDS  the same client against a TFTP
 *                                          server on 127.0.0.1:PORT
 *
 * Each prints one line: "<what>: ROUNDS transfers of N blocks in T s, X
 * transfers/s, Y us per block". The client is the same code in both, so
 * the ratio of the two rates is the server's share. Run it only inside a
 * private network namespace (bench/lockstep does). */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { Block = 512, Max = 1024 };

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

static int udpSocket(unsigned short port)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (fd < 0 || bind(fd, (struct sockaddr *)&a, sizeof a) < 0) {
        perror("lockstep-floor: bind");
        exit(1);
    }
    struct timeval limit = {5, 0}; /* a lost datagram ends the run */
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

/* One lock-step fetch; returns the number of blocks, or -1. */
static int fetch(unsigned short port, const char *name)
{
    int fd = udpSocket(0);
    unsigned char packet[Max];
    size_t n = (size_t)snprintf((char *)packet + 2, sizeof packet - 2, "%s%coctet", name, 0);
    packet[0] = 0;
    packet[1] = 1;
    struct sockaddr_in server;
    memset(&server, 0, sizeof server);
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(port);
    sendto(fd, packet, n + 3, 0, (struct sockaddr *)&server, sizeof server);
    int blocks = 0;
    for (;;) {
        socklen_t len = sizeof server;
        ssize_t got = recvfrom(fd, packet, sizeof packet, 0, (struct sockaddr *)&server, &len);
        if (got < 4 || packet[1] != 3) {
            close(fd);
            return -1;
        }
        ++blocks;
        unsigned char ack[4] = {0, 4, packet[2], packet[3]};
        sendto(fd, ack, 4, 0, (struct sockaddr *)&server, len);
        if (got < 4 + Block)
            break;
    }
    close(fd);
    return blocks;
}

/* The bare server: each read request served from a socket of its own. */
static void serve(int listener, long size)
{
    unsigned char *image = calloc(1, (size_t)size + 1);
    unsigned char packet[4 + Block];
    unsigned char in[Max];
    struct timeval forever = {0, 0};
    setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &forever, sizeof forever);
    for (;;) {
        struct sockaddr_in client;
        socklen_t len = sizeof client;
        if (recvfrom(listener, in, sizeof in, 0, (struct sockaddr *)&client, &len) < 4)
            continue;
        int fd = udpSocket(0);
        long blocks = size / Block + 1;
        for (long k = 1; k <= blocks; ++k) {
            long offset = (k - 1) * Block;
            long length = size - offset < Block ? size - offset : Block;
            packet[0] = 0;
            packet[1] = 3;
            packet[2] = (unsigned char)(k >> 8);
            packet[3] = (unsigned char)k;
            memcpy(packet + 4, image + offset, (size_t)length);
            sendto(fd, packet, 4 + (size_t)length, 0, (struct sockaddr *)&client, len);
            if (recv(fd, in, sizeof in, 0) < 4)
                break;
        }
        close(fd);
    }
}

static void report(const char *what, int rounds, int blocks, double seconds)
{
    printf("%s: %d transfers of %d blocks in %.3f s, %.1f transfers/s, %.2f us per block\n", what,
           rounds, blocks, seconds, rounds / seconds, seconds * 1e6 / rounds / blocks);
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "floor") == 0) {
        long size = atol(argv[2]);
        int rounds = atoi(argv[3]);
        int listener = udpSocket(0);
        struct sockaddr_in a;
        socklen_t len = sizeof a;
        getsockname(listener, (struct sockaddr *)&a, &len);
        pid_t child = fork();
        if (child == 0) {
            serve(listener, size);
            _exit(0);
        }
        close(listener);
        int blocks = 0;
        double start = now();
        for (int i = 0; i < rounds && blocks >= 0; ++i)
            blocks = fetch(ntohs(a.sin_port), "image");
        double took = now() - start;
        kill(child, SIGTERM);
        waitpid(child, NULL, 0);
        if (blocks < 0) {
            fprintf(stderr, "lockstep-floor: a transfer failed\n");
            return 1;
        }
        report("floor (bare C server)", rounds, blocks, took);
        return 0;
    }
    if (argc == 5 && strcmp(argv[1], "fetch") == 0) {
        int rounds = atoi(argv[4]);
        int blocks = 0;
        double start = now();
        for (int i = 0; i < rounds && blocks >= 0; ++i)
            blocks = fetch((unsigned short)atoi(argv[2]), argv[3]);
        double took = now() - start;
        if (blocks < 0) {
            fprintf(stderr, "lockstep-floor: a transfer failed\n");
            return 1;
        }
        report("tool (kov-tftpd)", rounds, blocks, took);
        return 0;
    }
    fprintf(stderr, "usage: lockstep-floor floor SIZE ROUNDS | fetch PORT NAME ROUNDS\n");
    return 2;
}
