#!/usr/bin/env python3
"""A keep-alive HTTP/1.1 file server on 127.0.0.1 that waits before every answer.

usage: delay_server.py ROOT PORT DELAY_MS
"""
import asyncio
import os
import sys


async def handle(reader, writer, root, delay):
    try:
        while True:
            head = await reader.readuntil(b"\r\n\r\n")
            target = head.split(b" ", 2)[1].decode("latin-1")
            if target.startswith("http://"):
                target = "/" + target.split("/", 3)[3]
            path = os.path.normpath(os.path.join(root, target.lstrip("/")))
            await asyncio.sleep(delay)
            if path.startswith(root) and os.path.isfile(path):
                with open(path, "rb") as f:
                    body = f.read()
                writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
            else:
                writer.write(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
            await writer.drain()
    except (asyncio.IncompleteReadError, ConnectionError, IndexError):
        pass
    finally:
        writer.close()


async def main():
    root, port, delay_ms = os.path.abspath(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    server = await asyncio.start_server(lambda r, w: handle(r, w, root, delay_ms / 1000.0),
                                        "127.0.0.1", port, backlog=256)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
