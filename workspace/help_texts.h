// The two pages of help on the third tab.
#pragma once

#include <string_view>

#include "platform/latin1.h"

namespace vant {

inline constexpr std::string_view kInstructionsText =
    "Instrucciones de utilización\r\n"
    "\r\n"
    "PASO 1\r\n"
    "En el árbol de la izquierda, elija la unidad de la que se borraron los archivos. "
    "También puede elegir el nodo \"Mis Documentos\": V-ANT busca entonces sus archivos en la "
    "unidad que los contenga, sea cual sea.\r\n"
    "\r\n"
    "PASO 2\r\n"
    "V-ANT analiza la unidad y construye su árbol de carpetas, con las carpetas borradas marcadas. "
    "El análisis puede durar algunos minutos; si lo desea, puede detenerlo en cualquier momento "
    "con el botón \"Cancelar\".\r\n"
    "\r\n"
    "PASO 3\r\n"
    "Pulse sobre una carpeta para ver sus archivos en la lista de la derecha. Marque la casilla "
    "que hay debajo de la lista para ver sólo los archivos borrados. Las carpetas cuya carpeta "
    "superior ha desaparecido se encuentran bajo el nodo \"elementos perdidos\".\r\n"
    "\r\n"
    "PASO 4\r\n"
    "Para recuperar un archivo, selecciónelo y pulse el botón \"Recuperar\". V-ANT le indicará la "
    "integridad del archivo y le preguntará dónde desea guardarlo. Es preferible guardarlo en una "
    "carpeta distinta de aquella de la que se borró, y mejor aún en otra unidad, para no "
    "sobrescribir otros archivos borrados.\r\n"_l1;

inline constexpr std::string_view kFaqText =
    "¿Puede el uso de V-ANT sobrescribir los archivos que quiero recuperar?\r\n"
    "No. V-ANT se ejecuta desde una zona especial de descarga del disco y sólo lee la unidad "
    "analizada; lo único que escribe son los archivos que usted recupera, donde usted elija.\r\n"
    "\r\n"
    "¿Son confidenciales mis archivos?\r\n"
    "Sí. Todo el proceso se realiza en su equipo: ningún archivo ni dato viaja por la red.\r\n"
    "\r\n"
    "¿Dónde están los archivos que borré de la papelera de reciclaje?\r\n"
    "Bajo el nodo PAPELERA, en la raíz de la unidad.\r\n"
    "\r\n"
    "¿Por qué los archivos de la papelera tienen nombres nuevos?\r\n"
    "Al enviar un archivo a la papelera, el sistema le da un nombre nuevo y anota aparte el "
    "nombre y la carpeta que tenía. V-ANT lee esa nota: en la columna \"Nombre\" verá el nombre "
    "original, al recuperarlo se le propondrá ese nombre, y la búsqueda lo encuentra tanto por "
    "el nombre original como por el de la papelera. Si la nota ya no existe, el archivo conserva "
    "el nombre de la papelera y su extensión: búsquelo por su tipo, su tamaño y sus fechas.\r\n"
    "\r\n"
    "¿Qué significa una integridad del 100%?\r\n"
    "Que la zona del disco que ocupaba el archivo no está ocupada ahora por otros datos. No "
    "demuestra que nunca se haya sobrescrito: entre el borrado y el análisis otro archivo pudo "
    "ocuparla y liberarla de nuevo.\r\n"
    "\r\n"
    "¿Cómo funciona la búsqueda?\r\n"
    "Escriba una parte del nombre, por ejemplo '.doc', y elija un tipo si lo desea. Los "
    "resultados se acumulan de una búsqueda a otra, salvo que esté marcada la casilla "
    "'Descartar búsqueda anterior'.\r\n"
    "\r\n"
    "¿Por qué algunos archivos no se pueden recuperar?\r\n"
    "Porque el espacio que ocupaban en el disco ya ha sido utilizado por otros archivos, o "
    "porque el propio registro del archivo ha sido reutilizado.\r\n"
    "\r\n"
    "¿Por qué algunos archivos del sistema borrados aparecen como no borrados?\r\n"
    "Porque el sistema reutiliza sus registros para archivos nuevos o los mantiene reservados: "
    "el registro está en uso aunque el archivo original se borrara.\r\n"_l1;

}  // namespace vant
