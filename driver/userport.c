/*
 * UserPort.sys: the in_zorbin port-access driver for NT-family Windows.
 *
 * A user-mode IN or OUT faults unless the process's I/O permission map
 * allows the port. This driver creates \Device\UserPort (link
 * \DosDevices\UserPort); a process that opens it gets the parallel-port
 * ranges 0x278-0x27F, 0x378-0x37F and 0x3BC-0x3BF opened in its map, plus
 * the eight registers of the base stored as "PortBase" under this service's
 * key when they stay clear of the system's own devices (a PCIe card's port;
 * port_grant.h decides), and nothing else. Any process may open the device,
 * so granting the whole I/O space would let any program reprogram any
 * hardware; the plug-in needs only its port.
 */
#include <ntddk.h>

#include "port_grant.h"

/* Exported by ntoskrnl on 32-bit x86 but declared by no header. The map is
 * 8 KiB: one bit per port, 0 = allowed. */
#define IOPM_SIZE 0x2000
NTKERNELAPI VOID NTAPI Ke386SetIoAccessMap(ULONG MapNumber, PUCHAR Map);
NTKERNELAPI VOID NTAPI Ke386QueryIoAccessMap(ULONG MapNumber, PUCHAR Map);
NTKERNELAPI VOID NTAPI Ke386IoSetAccessProcess(PEPROCESS Process, ULONG MapNumber);

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

static const WCHAR kDeviceName[] = L"\\Device\\UserPort";
static const WCHAR kLinkName[] = L"\\DosDevices\\UserPort";

static PUCHAR g_io_map; /* nonpaged: the kernel copies it into the TSS */

static void allow_port(PUCHAR map, USHORT port) {
    map[port >> 3] &= (UCHAR) ~(1u << (port & 7));
}

/* The base the plug-in stored under our service key, 0 when there is none. */
static ULONG stored_port_base(PUNICODE_STRING registry_path) {
    OBJECT_ATTRIBUTES attributes;
    UNICODE_STRING name;
    HANDLE key;
    ULONG length = 0;
    ULONG base = 0;
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    } value;
    InitializeObjectAttributes(&attributes, registry_path, OBJ_CASE_INSENSITIVE, NULL, NULL);
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_QUERY_VALUE, &attributes))) return 0;
    RtlInitUnicodeString(&name, USERPORT_BASE_VALUE);
    if (NT_SUCCESS(ZwQueryValueKey(key, &name, KeyValuePartialInformation, &value, sizeof value,
                                   &length)) &&
        value.info.Type == REG_DWORD && value.info.DataLength == sizeof(ULONG))
        RtlCopyMemory(&base, value.info.Data, sizeof base);
    ZwClose(key);
    return base;
}

static NTSTATUS complete(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Opening the device opens the parallel ports for the opening process. */
static NTSTATUS NTAPI on_create(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    Ke386SetIoAccessMap(1, g_io_map);
    Ke386IoSetAccessProcess(IoGetCurrentProcess(), 1);
    return complete(irp, STATUS_SUCCESS);
}

static NTSTATUS NTAPI on_close(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return complete(irp, STATUS_SUCCESS);
}

static VOID NTAPI on_unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, kLinkName);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
    if (g_io_map != NULL) {
        ExFreePool(g_io_map);
        g_io_map = NULL;
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    UNICODE_STRING device_name, link_name;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;
    ULONG base, port;

    g_io_map = (PUCHAR)ExAllocatePool(NonPagedPool, IOPM_SIZE);
    if (g_io_map == NULL) return STATUS_INSUFFICIENT_RESOURCES;
    RtlFillMemory(g_io_map, IOPM_SIZE, 0xFF);
    base = stored_port_base(registry_path);
    for (port = 0; port <= 0xFFFF; ++port)
        if (userport_opens(port, base)) allow_port(g_io_map, (USHORT)port);

    RtlInitUnicodeString(&device_name, kDeviceName);
    status = IoCreateDevice(driver, 0, &device_name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        ExFreePool(g_io_map);
        g_io_map = NULL;
        return status;
    }
    RtlInitUnicodeString(&link_name, kLinkName);
    status = IoCreateSymbolicLink(&link_name, &device_name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        ExFreePool(g_io_map);
        g_io_map = NULL;
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = on_create;
    driver->MajorFunction[IRP_MJ_CLOSE] = on_close;
    driver->DriverUnload = on_unload;
    return STATUS_SUCCESS;
}
