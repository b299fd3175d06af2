"""RSA with PKCS #1 v1.5 padding, keys as ``openssl`` writes them.

    ciphertext = ydr.rsa.encrypt(data, public_pem)     # to the holder of the private key
    data = ydr.rsa.decrypt(ciphertext, private_pem)
    signature = ydr.rsa.sign(data, private_pem)        # raw PKCS #1 v1.5 (data not hashed)
    data = ydr.rsa.recover(signature, public_pem)

Keys are PEM text or DER bytes: a private key as ``openssl genrsa`` or ``openssl genpkey``
writes it (PKCS #8 "PRIVATE KEY" or PKCS #1 "RSA PRIVATE KEY"), a public key as
``openssl rsa -pubout`` writes it ("PUBLIC KEY") or in PKCS #1 ("RSA PUBLIC KEY"). Encrypted
PEM keys are not read. Failures raise ydr.CipherError.
"""

import base64
import re

from . import _ydr
from ._errors import CipherError

__all__ = ["encrypt", "decrypt", "sign", "recover", "CipherError"]

_PEM = re.compile(rb"-----BEGIN ([A-Z0-9 ]+)-----\s*(.*?)\s*-----END \1-----", re.S)
_RSA_OID = bytes.fromhex("2a864886f70d010101")  # 1.2.840.113549.1.1.1


def _der_item(data, at):
    """(tag, start of contents, end of contents) of the DER item at `at`."""
    if at + 2 > len(data):
        raise CipherError("the key is not DER")
    tag, length = data[at], data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        if count == 0 or count > 4 or at + count > len(data):
            raise CipherError("the key is not DER")
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    if at + length > len(data):
        raise CipherError("the key is not DER")
    return tag, at, at + length


def _children(data, start, end):
    items = []
    while start < end:
        tag, s, e = _der_item(data, start)
        items.append((tag, s, e))
        start = e
    return items


def _pkcs1(der, private):
    """The PKCS #1 key inside `der`: itself, or unwrapped from PKCS #8 / SubjectPublicKeyInfo."""
    tag, s, e = _der_item(der, 0)
    if tag != 0x30:
        raise CipherError("the key is not a DER sequence")
    items = _children(der, s, e)
    if private and len(items) >= 3 and items[1][0] == 0x30 and items[2][0] == 0x04:
        algorithm = _children(der, items[1][1], items[1][2])
        if not algorithm or der[algorithm[0][1]:algorithm[0][2]] != _RSA_OID:
            raise CipherError("the private key is not an RSA key")
        return der[items[2][1]:items[2][2]]
    if not private and len(items) == 2 and items[0][0] == 0x30 and items[1][0] == 0x03:
        algorithm = _children(der, items[0][1], items[0][2])
        if not algorithm or der[algorithm[0][1]:algorithm[0][2]] != _RSA_OID:
            raise CipherError("the public key is not an RSA key")
        bits = der[items[1][1]:items[1][2]]
        if not bits or bits[0] != 0:
            raise CipherError("the public key's bit string is not whole bytes")
        return bits[1:]
    return der


def _key_text(key, private):
    """The Base64 text of the PKCS #1 form of `key` (PEM text or DER bytes), as the library takes it."""
    if isinstance(key, str):
        key = key.encode("ascii")
    key = bytes(key)
    match = _PEM.search(key)
    if match:
        label = match.group(1).decode()
        if "ENCRYPTED" in label or b"Proc-Type" in match.group(2):
            raise CipherError("encrypted PEM keys are not read; decrypt the key with openssl first")
        if private and "PRIVATE" not in label or not private and "PUBLIC" not in label:
            raise CipherError(f"a {'private' if private else 'public'} key is needed, not a {label}")
        try:
            der = base64.b64decode(b"".join(match.group(2).split()), validate=True)
        except ValueError:
            raise CipherError("the PEM key's Base64 is damaged") from None
    else:
        der = key
    return base64.b64encode(_pkcs1(der, private)).decode("ascii")


def encrypt(data, public_key):
    """Encrypts `data` (at most the modulus size minus 11 bytes) to the private key's holder."""
    return _ydr.rsa(0, data, _key_text(public_key, False))


def recover(signature, public_key):
    """The bytes that sign() signed, recovered from `signature`; CipherError for a wrong key."""
    return _ydr.rsa(1, signature, _key_text(public_key, False))


def sign(data, private_key):
    """The raw PKCS #1 v1.5 signature (block type 1) of `data`, which is not hashed."""
    return _ydr.rsa(2, data, _key_text(private_key, True))


def decrypt(ciphertext, private_key):
    """Decrypts what encrypt() made; CipherError for a wrong key or damaged ciphertext."""
    return _ydr.rsa(3, ciphertext, _key_text(private_key, True))
