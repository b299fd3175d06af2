"""The crypto and number-string bindings: SHA-1 against hashlib, SEED's modes and errors, RSA
against the openssl command, document encryption's units and stream, numstr's arguments."""

import hashlib
import hmac
import random
import shutil
import subprocess

import numpy
import pytest

import ydr
import ydr.rsa
import ydr.seed
import ydr.sha1
import ydr.ven

RNG = random.Random(99)


def pieces(data, step):
    return [memoryview(data)[at:at + step] for at in range(0, len(data), step)]


def test_sha1_matches_hashlib_whole_in_pieces_and_forked():
    for size in (0, 1000, 1 << 20):  # the last passes the size that releases the GIL
        data = RNG.randbytes(size)
        h = ydr.sha1.new()
        for piece in pieces(data, 97):  # mid-block cuts
            h.update(piece)
        theirs = hashlib.sha1(data)
        assert (ydr.sha1.sha1(data).hexdigest(), h.digest()) == (theirs.hexdigest(), theirs.digest())
    h = ydr.sha1.new(b"common prefix ")
    fork = h.copy()
    h.update(b"one")
    fork.update(numpy.frombuffer(b"two", numpy.uint8))
    # The first digest() leaves the computation as it was for the second.
    expected = [hashlib.sha1(b"common prefix " + end).digest() for end in (b"one", b"one", b"two")]
    assert [h.digest(), h.digest(), fork.digest()] == expected
    # hmac builds on the object's name, sizes and copies as on hashlib's, long keys hashed first.
    for key in (b"k", bytes(range(70))):
        ours, theirs = hmac.new(key, b"message", ydr.sha1.new), hmac.new(key, b"message", hashlib.sha1)
        assert (ours.name, ours.digest_size, ours.digest()) == (theirs.name, theirs.digest_size, theirs.digest())


@pytest.mark.parametrize("mode", ["ECB", "CBC", "OFB", "CFB"])
def test_seed_round_trips_and_streams_split_anywhere(mode):
    key, iv = RNG.randbytes(16), RNG.randbytes(16)
    for size in (0, 1, 16, 17, 1000):
        data = RNG.randbytes(size if mode in ("ECB", "CBC") else size - size % 16)
        seed = ydr.seed.new(key, mode, None if mode == "ECB" else iv)
        whole = seed.encrypt(data)
        enc = seed.encryptor()
        assert b"".join(map(enc.update, pieces(data, 7))) + enc.finalize() == whole
        assert seed.decrypt(whole) == data
        if mode == "OFB":
            assert seed.encrypt(whole) == data  # OFB alone applies the same keystream both ways


def test_seed_known_answer_and_what_raises():
    # RFC 4269, appendix B, the third answer: key and block bytes reach the cipher in order.
    key, plain, cipher = map(bytes.fromhex, ["4706480851E61BE85D74BFB3FD956185", "83A2F8A288641FB9A4E9A5CC2F131C7D",
                                             "EE54D13EBCAE706D226BC3142CD40D4A"])
    assert ydr.seed.new(key, "ECB", padding=False).encrypt(plain) == cipher
    assert ydr.seed.new(key, "ECB", padding=False).decrypt(cipher) == plain
    seed = ydr.seed.new(bytes(16), "CBC", bytes(16))
    ciphertext = seed.encrypt(b"attack at dawn")
    with pytest.raises(ydr.CipherError, match="padding"):
        ydr.seed.new(b"\x01" * 16, "CBC", bytes(16)).decrypt(ciphertext)
    with pytest.raises(ydr.CipherError, match="whole 16-byte blocks"):
        seed.decrypt(ciphertext[:-1])
    with pytest.raises(ydr.CipherError, match="without padding"):
        ydr.seed.new(bytes(16), "ECB", padding=False).encrypt(b"not a whole block")
    with pytest.raises(ValueError):
        ydr.seed.new(bytes(15), "ECB")


def test_rsa_against_the_openssl_command_both_ways(tmp_path):
    if shutil.which("openssl") is None:
        pytest.skip("the openssl command is not installed")

    def openssl(*args, data=None):
        return subprocess.run(["openssl", *args], input=data, check=True, capture_output=True).stdout

    private, public = tmp_path / "private.pem", tmp_path / "public.pem"
    openssl("genrsa", "-out", private, "1024")
    openssl("rsa", "-in", private, "-pubout", "-out", public)
    traditional = openssl("rsa", "-in", private, "-traditional")
    private_pem, public_pem = private.read_text(), public.read_text()
    message = b"the archive's key"
    # Ours encrypts, openssl decrypts; openssl encrypts, ours decrypts (with either PEM form).
    ciphertext = ydr.rsa.encrypt(message, public_pem)
    assert openssl("pkeyutl", "-decrypt", "-inkey", private, data=ciphertext) == message
    theirs = openssl("pkeyutl", "-encrypt", "-pubin", "-inkey", public, data=message)
    assert ydr.rsa.decrypt(theirs, private_pem) == message
    assert ydr.rsa.decrypt(theirs, traditional) == message
    # A raw PKCS #1 v1.5 signature is openssl's -sign without a digest, and recovers.
    signature = ydr.rsa.sign(message, private_pem)
    assert signature == openssl("pkeyutl", "-sign", "-inkey", private, data=message)
    assert ydr.rsa.recover(signature, public_pem) == message
    with pytest.raises(ydr.CipherError):
        ydr.rsa.decrypt(ciphertext[:-1], private_pem)
    with pytest.raises(ydr.CipherError):
        ydr.rsa.encrypt(message, private_pem)  # a private key where a public one is needed


@pytest.mark.parametrize("kind", [1, 4, "lvo"])  # DES, AES with one-bit feedback, AES blocks
def test_document_encryption_round_trips_in_place_and_as_one_stream(kind):
    password = "pässwörd-42"
    data = RNG.randbytes(4096)
    buffer = bytearray(data)
    key = ydr.ven.Key(kind, password)
    assert key.encrypt(buffer) == 4096
    assert buffer != data
    # One object's units over all its calls form one stream: two halves are the whole.
    halves = bytearray(data)
    second = ydr.ven.Key(kind, password)
    second.encrypt(memoryview(halves)[:2048])
    second.encrypt(memoryview(halves)[2048:])
    assert halves == buffer
    ydr.ven.Key(kind, password).decrypt(buffer)
    assert buffer == data
    # Bytes after the last whole unit are left alone.
    tail = bytearray(data[:key.unit * 3 + 5])
    assert ydr.ven.Key(kind, password).encrypt(tail) == key.unit * 3
    assert tail[-5:] == data[key.unit * 3:key.unit * 3 + 5]


def test_document_keys_refuse_what_they_would_overrun_or_cannot_write():
    with pytest.raises(ValueError, match="16-byte units"):
        ydr.ven.Key(4, "password").encrypt(bytearray(24))
    with pytest.raises(ValueError):
        ydr.ven.Key("lvo", "short")
    with pytest.raises((TypeError, BufferError)):
        ydr.ven.Key(1, "password").encrypt(b"read-only bytes!")
    assert ydr.ven.make_password(b"secret") == hashlib.sha1(b"secret").hexdigest().upper()


def test_number_strings_take_their_arguments(ydr_command):
    for style, number in ((0, -12), (4, 28), (12, 21)):  # a sign, the extended form, Korean text
        command = subprocess.run([ydr_command, "numstr", str(style), str(number)], capture_output=True, text=True)
        assert ydr.numstr(style, number, extend=True) == command.stdout.rstrip("\n"), command.stderr
    assert ydr.numstr(ydr.NUM_LATIN_UPPER, 2, "\0(" + ")") == "(B)"
    assert ydr.numstr(ydr.NUM_REPEAT_SYMBOL, 3, "#\0\0") == "###"
