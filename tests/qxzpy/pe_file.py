"""What a test reads of a Windows program (PE32+) without a tool: the DLLs
it imports and its version resource."""

import struct

RT_VERSION = 16
RESOURCE_DIRECTORY = 2
IMPORT_DIRECTORY = 1
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        sections, optional_size = struct.unpack_from("<2xH12xH2x", data, pe + 4)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x20B:
            raise ValueError("not a 64-bit program")
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * index)
                            for index in range(struct.unpack_from("<I", data, optional + 108)[0])]
        # (virtual size, virtual address, size in the file, offset in the file)
        self.sections = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * index)
                         for index in range(sections)]

    def offset(self, rva):
        """The file offset of a relative virtual address."""
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("address 0x%x lies in no section" % rva)

    def text_at(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imported_dlls(self):
        """The names of the DLLs the program imports, as written."""
        rva, _ = self.directories[IMPORT_DIRECTORY]
        names = []
        entry = self.offset(rva)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, entry)
            if not (lookup or name or first):
                return names
            names.append(self.text_at(name))
            entry += 20

    def version_resource(self):
        """The bytes of the first version resource."""
        base_rva, _ = self.directories[RESOURCE_DIRECTORY]
        if not base_rva:
            raise ValueError("no resources")
        base = self.offset(base_rva)
        entry_offset = 0
        for _ in range(3):  # type, name, language
            entries = self._directory_entries(base + entry_offset)
            if not entries:
                raise ValueError("an empty resource directory")
            if entry_offset == 0:
                entries = [entry for entry in entries if entry[0] == RT_VERSION]
                if not entries:
                    raise ValueError("no version resource")
            target = entries[0][1]
            if target & 0x80000000:
                entry_offset = target & 0x7FFFFFFF
            else:
                data_rva, size = struct.unpack_from("<II", self.data, base + target)
                start = self.offset(data_rva)
                return self.data[start:start + size]
        raise ValueError("the resource tree is deeper than type, name and language")

    def _directory_entries(self, offset):
        named, numbered = struct.unpack_from("<12xHH", self.data, offset)
        return [struct.unpack_from("<II", self.data, offset + 16 + 8 * index) for index in range(named + numbered)]


def version_blocks(data, offset=0):
    """A version resource's block at offset as (key, value, children): the
    value a text for a text block, else its bytes."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    position = aligned(key_end + 2)
    if kind == 1:
        value = data[position:position + 2 * value_length].decode("utf-16-le").rstrip("\0")
        position += 2 * value_length
    else:
        value = data[position:position + value_length]
        position += value_length
    children = []
    position = aligned(position)
    while position < end:
        child = version_blocks(data, position)
        children.append(child[:3])
        position = aligned(child[3])
    return key, value, children, end


def aligned(offset):
    return (offset + 3) & ~3


def read_version(data):
    """{"FileVersion": (a, b, c, d), "ProductVersion": (...), "strings": {name: text}}
    of the bytes of a version resource."""
    key, fixed, children, _ = version_blocks(data)
    if key != "VS_VERSION_INFO":
        raise ValueError("the version resource begins with %r" % key)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != FIXED_FILE_INFO_SIGNATURE:
        raise ValueError("no fixed file information")
    strings = {}
    for child_key, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, entries in tables:
                strings.update((name, text) for name, text, _ in entries)
    return {"FileVersion": (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
            "ProductVersion": (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF),
            "strings": strings}
