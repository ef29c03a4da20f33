"""Loopback helpers shared by the Python tests and load runs."""
import socket


def free_port(kind=socket.SOCK_STREAM, address="127.0.0.1"):
    """A port on `address` (TCP, or UDP with kind=SOCK_DGRAM) that is free now."""
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind((address, 0))
        return s.getsockname()[1]
