// The texts of the user interface: the key names in table order and one set of
// UTF-8 texts per language, plus the rows that tie language identifiers and codes
// to those sets.

#include "text/string_table_data.h"

#include <iterator>
#include <string_view>

namespace ordx {

const char* const kStringKeys[kStringKeyCount] = {
    "IDS_WIZARD_BACK",
    "IDS_WIZARD_NEXT",
    "IDS_WIZARD_FINISH",
    "IDS_WIZARD_CANCEL",
    "IDS_ACCEPT_CANCEL",
    "IDS_TITLE_INSTALLER",
    "IDS_PREPARECOPY",
    "IDS_INSTALL_ERROR",
    "IDS_ERROR_NOSOURCE",
    "IDS_ERROR_NOTARGET",
    "IDS_ERROR_NOSPACE",
    "IDS_CHOOSEDIR_FOLDER",
    "IDS_CHOOSEDIR_TITLE",
    "IDR_MAINFRAME",
    "IDS_SETUP_EMPTYTARGET",
    "IDS_INSTALL_FINISH",
    "IDS_ERROR_DAMAGEDSOURCE",
    "IDS_DEFPRODUCT",
    "IDS_DEFPROVIDER",
    "IDS_SUCCESS_FINISH",
    "IDS_SUCCESS_OPENDESCR",
    "IDS_PROGRESS_START",
    "IDS_ERROR_FINISH",
    "IDS_CANCEL_FINISH",
    "IDS_BROWSE_SELDIR",
    "IDS_BROWSE_OK",
    "IDS_BROWSE_CANCEL",
    "IDS_WELCOME_TITLE",
    "IDS_SETUP_EXISTEDTARGET",
    "IDS_DESTINATION_PROMPT",
    "IDS_TEMPLATE_CATALOG",
};

namespace {

// Positions of the two keys that must carry the same text in every language.
constexpr std::size_t kTitleInstallerIndex = 5;
constexpr std::size_t kMainFrameIndex = 13;

// A set with a missing text would silently hold a null pointer, and a line break or
// a "%" (a directive to printf-style dialog calls) would garble a message; reject
// such a set at compile time, as well as a title that differs between its two keys.
constexpr bool IsWellFormed(const TextSet& set) {
  for (const char* text : set.texts) {
    if (text == nullptr || *text == '\0') return false;
    for (const char* p = text; *p != '\0'; ++p) {
      if (*p == '\n' || *p == '\r' || *p == '%') return false;
    }
  }
  return std::string_view(set.texts[kTitleInstallerIndex]) ==
         std::string_view(set.texts[kMainFrameIndex]);
}

// English
constexpr TextSet kEnglish = {{
    "< Back",
    "Next >",
    "Finish",
    "Cancel",
    "Do you really want to cancel installation?",
    "Installing configuration",
    "Preparing to copy...",
    "Installation error",
    "Distribution kit file ordx.dkt not found.",
    "Installation of templates to the current directory is not supported.",
    "Insufficient space available in the directory Temp.",
    "&Folder:",
    "Choose Directory",
    "Installing configuration",
    "Specify correct path to template directory.",
    "Copying complete...",
    "Distribution kit file ordx.dkt corrupted or not designed for this installation program.",
    "<Product>",
    "<Vendor>",
    "Configuration installed successfully.",
    "Open description of distribution package",
    "Files being copied...",
    "An error occurred during the installation process. Installation canceled. Template directory "
    "has not been changed.",
    "Installation canceled. Template directory has not been changed.",
    "Directory selected:",
    "Select",
    "Cancel",
    "Welcome to the product installation program",
    "The installation directory contains files that may be changed during the installation "
    "process. Do you want to continue?",
    "Specify path to template directory. The installation program will install templates and "
    "configuration files to the specified directory.",
    "Template directory:",
}};
static_assert(IsWellFormed(kEnglish));

// Armenian
constexpr TextSet kArmenian = {{
    "< Հետ",
    "Առաջ >",
    "Ավարտել",
    "Չեղարկել",
    "Դուք իսկապե՞ս ուզում եք չեղարկել տեղադրումը։",
    "Կոնֆիգուրացիայի տեղադրում",
    "Պատճենման նախապատրաստում...",
    "Տեղադրման սխալ",
    "ordx.dkt բաշխման փաթեթի ֆայլը չի գտնվել։",
    "Ձևանմուշների տեղադրումն ընթացիկ գրացուցակում չի աջակցվում։",
    "Ժամանակավոր գրացուցակում (Temp) բավարար ազատ տեղ չկա։",
    "&Թղթապանակ:",
    "Գրացուցակի ընտրություն",
    "Կոնֆիգուրացիայի տեղադրում",
    "Նշեք ձևանմուշների գրացուցակի ճիշտ ուղին։",
    "Պատճենումն ավարտված է...",
    "ordx.dkt բաշխման փաթեթի ֆայլը վնասված է կամ նախատեսված չէ տեղադրման այս ծրագրի համար։",
    "<Արտադրանք>",
    "<Մատակարար>",
    "Կոնֆիգուրացիան հաջողությամբ տեղադրվեց։",
    "Բացել բաշխման փաթեթի նկարագրությունը",
    "Ֆայլերը պատճենվում են...",
    "Տեղադրման ընթացքում սխալ է տեղի ունեցել։ Տեղադրումը չեղարկվեց։ Ձևանմուշների գրացուցակը չի "
    "փոփոխվել։",
    "Տեղադրումը չեղարկվեց։ Ձևանմուշների գրացուցակը չի փոփոխվել։",
    "Ընտրված գրացուցակ:",
    "Ընտրել",
    "Չեղարկել",
    "Բարի գալուստ արտադրանքի տեղադրման ծրագիր",
    "Տեղադրման գրացուցակը պարունակում է ֆայլեր, որոնք կարող են փոփոխվել տեղադրման ընթացքում։ "
    "Ցանկանո՞ւմ եք շարունակել։",
    "Նշեք ձևանմուշների գրացուցակի ուղին։ Տեղադրման ծրագիրը ձևանմուշները և կոնֆիգուրացիայի ֆայլերը "
    "կտեղադրի նշված գրացուցակում։",
    "Ձևանմուշների գրացուցակ:",
}};
static_assert(IsWellFormed(kArmenian));

// Azerbaijani
constexpr TextSet kAzerbaijani = {{
    "< Geri",
    "İrəli >",
    "Bitir",
    "Ləğv et",
    "Quraşdırmanı həqiqətən ləğv etmək istəyirsiniz?",
    "Konfiqurasiyanın quraşdırılması",
    "Köçürməyə hazırlıq...",
    "Quraşdırma xətası",
    "ordx.dkt distributiv faylı tapılmadı.",
    "Şablonların cari kataloqa quraşdırılması dəstəklənmir.",
    "Müvəqqəti kataloqda (Temp) kifayət qədər boş yer yoxdur.",
    "&Qovluq:",
    "Kataloq seçimi",
    "Konfiqurasiyanın quraşdırılması",
    "Şablonlar kataloquna düzgün yolu göstərin.",
    "Köçürmə başa çatdı...",
    "ordx.dkt distributiv faylı zədələnib və ya bu quraşdırma proqramı üçün nəzərdə tutulmayıb.",
    "<Məhsul>",
    "<Təchizatçı>",
    "Konfiqurasiya uğurla quraşdırıldı.",
    "Distributivin təsvirini aç",
    "Fayllar köçürülür...",
    "Quraşdırma zamanı xəta baş verdi. Quraşdırma ləğv edildi. Şablonlar kataloqu dəyişdirilmədi.",
    "Quraşdırma ləğv edildi. Şablonlar kataloqu dəyişdirilmədi.",
    "Seçilmiş kataloq:",
    "Seç",
    "Ləğv et",
    "Məhsulun quraşdırma proqramına xoş gəlmisiniz",
    "Quraşdırma kataloqunda quraşdırma zamanı dəyişdirilə bilən fayllar var. Davam etmək "
    "istəyirsiniz?",
    "Şablonlar kataloquna yolu göstərin. Quraşdırma proqramı şablonları və konfiqurasiya "
    "fayllarını göstərilən kataloqa quraşdıracaq.",
    "Şablonlar kataloqu:",
}};
static_assert(IsWellFormed(kAzerbaijani));

// Bulgarian
constexpr TextSet kBulgarian = {{
    "< Назад",
    "Напред >",
    "Готово",
    "Отказ",
    "Наистина ли искате да прекратите инсталирането?",
    "Инсталиране на конфигурация",
    "Подготовка за копиране...",
    "Грешка при инсталирането",
    "Файлът на дистрибутива ordx.dkt не е намерен.",
    "Инсталирането на шаблони в текущата директория не се поддържа.",
    "Няма достатъчно свободно място във временната директория (Temp).",
    "&Папка:",
    "Избор на директория",
    "Инсталиране на конфигурация",
    "Посочете правилен път до директорията с шаблони.",
    "Копирането завърши...",
    "Файлът на дистрибутива ordx.dkt е повреден или не е предназначен за тази инсталационна "
    "програма.",
    "<Продукт>",
    "<Доставчик>",
    "Конфигурацията е инсталирана успешно.",
    "Отваряне на описанието на дистрибутива",
    "Копиране на файлове...",
    "По време на инсталирането възникна грешка. Инсталирането е прекратено. Директорията с "
    "шаблони не е променена.",
    "Инсталирането е прекратено. Директорията с шаблони не е променена.",
    "Избрана директория:",
    "Избери",
    "Отказ",
    "Добре дошли в инсталационната програма на продукта",
    "Инсталационната директория съдържа файлове, които може да бъдат променени по време на "
    "инсталирането. Искате ли да продължите?",
    "Посочете пътя до директорията с шаблони. Инсталационната програма ще инсталира шаблоните и "
    "конфигурационните файлове в посочената директория.",
    "Директория с шаблони:",
}};
static_assert(IsWellFormed(kBulgarian));

// Chinese (Simplified)
constexpr TextSet kChinese = {{
    "< 上一步",
    "下一步 >",
    "完成",
    "取消",
    "确实要取消安装吗？",
    "安装配置",
    "正在准备复制...",
    "安装错误",
    "未找到分发包文件 ordx.dkt。",
    "不支持将模板安装到当前目录。",
    "临时目录（Temp）中的可用空间不足。",
    "文件夹(&F)：",
    "选择目录",
    "安装配置",
    "请指定模板目录的正确路径。",
    "复制完成...",
    "分发包文件 ordx.dkt 已损坏或不适用于此安装程序。",
    "<产品>",
    "<供应商>",
    "已成功安装配置。",
    "打开分发包说明",
    "正在复制文件...",
    "安装过程中发生错误。安装已取消。模板目录未被更改。",
    "安装已取消。模板目录未被更改。",
    "所选目录：",
    "选择",
    "取消",
    "欢迎使用产品安装程序",
    "安装目录中包含的文件可能会在安装过程中被更改。是否继续？",
    "请指定模板目录的路径。安装程序会将模板和配置文件安装到指定目录中。",
    "模板目录：",
}};
static_assert(IsWellFormed(kChinese));

// French (no-break spaces before "?" and ":")
constexpr TextSet kFrench = {{
    "< Retour",
    "Suivant >",
    "Terminer",
    "Annuler",
    "Voulez-vous vraiment annuler l'installation ?",
    "Installation de la configuration",
    "Préparation de la copie...",
    "Erreur d'installation",
    "Le fichier du kit de distribution ordx.dkt est introuvable.",
    "L'installation des modèles dans le répertoire courant n'est pas prise en charge.",
    "Espace insuffisant dans le répertoire temporaire (Temp).",
    "&Dossier :",
    "Choisir un répertoire",
    "Installation de la configuration",
    "Indiquez un chemin valide vers le répertoire des modèles.",
    "Copie terminée...",
    "Le fichier du kit de distribution ordx.dkt est endommagé ou n'est pas destiné à ce programme "
    "d'installation.",
    "<Produit>",
    "<Fournisseur>",
    "La configuration a été installée avec succès.",
    "Ouvrir la description du kit de distribution",
    "Copie des fichiers en cours...",
    "Une erreur s'est produite pendant l'installation. L'installation a été annulée. Le "
    "répertoire des modèles n'a pas été modifié.",
    "L'installation a été annulée. Le répertoire des modèles n'a pas été modifié.",
    "Répertoire sélectionné :",
    "Sélectionner",
    "Annuler",
    "Bienvenue dans le programme d'installation du produit",
    "Le répertoire d'installation contient des fichiers qui peuvent être modifiés pendant "
    "l'installation. Voulez-vous continuer ?",
    "Indiquez le chemin du répertoire des modèles. Le programme d'installation installera les "
    "modèles et les fichiers de configuration dans le répertoire indiqué.",
    "Répertoire des modèles :",
}};
static_assert(IsWellFormed(kFrench));

// Georgian
constexpr TextSet kGeorgian = {{
    "< უკან",
    "შემდეგი >",
    "მზადაა",
    "გაუქმება",
    "ნამდვილად გსურთ ინსტალაციის გაუქმება?",
    "კონფიგურაციის ინსტალაცია",
    "კოპირებისთვის მომზადება...",
    "ინსტალაციის შეცდომა",
    "დისტრიბუტივის ფაილი ordx.dkt ვერ მოიძებნა.",
    "შაბლონების ინსტალაცია მიმდინარე დირექტორიაში არ არის მხარდაჭერილი.",
    "დროებით დირექტორიაში (Temp) არ არის საკმარისი თავისუფალი ადგილი.",
    "&საქაღალდე:",
    "დირექტორიის არჩევა",
    "კონფიგურაციის ინსტალაცია",
    "მიუთითეთ შაბლონების დირექტორიის სწორი გზა.",
    "კოპირება დასრულდა...",
    "დისტრიბუტივის ფაილი ordx.dkt დაზიანებულია ან არ არის განკუთვნილი ამ საინსტალაციო "
    "პროგრამისთვის.",
    "<პროდუქტი>",
    "<მომწოდებელი>",
    "კონფიგურაცია წარმატებით დაინსტალირდა.",
    "დისტრიბუტივის აღწერის გახსნა",
    "მიმდინარეობს ფაილების კოპირება...",
    "ინსტალაციის პროცესში მოხდა შეცდომა. ინსტალაცია გაუქმდა. შაბლონების დირექტორია არ შეცვლილა.",
    "ინსტალაცია გაუქმდა. შაბლონების დირექტორია არ შეცვლილა.",
    "არჩეული დირექტორია:",
    "არჩევა",
    "გაუქმება",
    "კეთილი იყოს თქვენი მობრძანება პროდუქტის საინსტალაციო პროგრამაში",
    "საინსტალაციო დირექტორია შეიცავს ფაილებს, რომლებიც შეიძლება შეიცვალოს ინსტალაციის პროცესში. "
    "გსურთ გაგრძელება?",
    "მიუთითეთ შაბლონების დირექტორიის გზა. საინსტალაციო პროგრამა შაბლონებსა და კონფიგურაციის "
    "ფაილებს მითითებულ დირექტორიაში დააინსტალირებს.",
    "შაბლონების დირექტორია:",
}};
static_assert(IsWellFormed(kGeorgian));

// German
constexpr TextSet kGerman = {{
    "< Zurück",
    "Weiter >",
    "Fertig",
    "Abbruch",
    "Möchten Sie die Installation wirklich abbrechen?",
    "Installation der Konfiguration",
    "Kopieren wird vorbereitet...",
    "Installationsfehler",
    "Die Datei ordx.dkt des Distributionspakets wurde nicht gefunden.",
    "Die Installation von Vorlagen in das aktuelle Verzeichnis wird nicht unterstützt.",
    "Im temporären Verzeichnis (Temp) ist nicht genügend Speicherplatz verfügbar.",
    "&Ordner:",
    "Verzeichnis auswählen",
    "Installation der Konfiguration",
    "Geben Sie einen gültigen Pfad zum Vorlagenverzeichnis an.",
    "Kopieren abgeschlossen...",
    "Die Datei ordx.dkt des Distributionspakets ist beschädigt oder nicht für dieses "
    "Installationsprogramm bestimmt.",
    "<Produkt>",
    "<Anbieter>",
    "Die Konfiguration wurde erfolgreich installiert.",
    "Beschreibung des Distributionspakets öffnen",
    "Dateien werden kopiert...",
    "Während der Installation ist ein Fehler aufgetreten. Die Installation wurde abgebrochen. Das "
    "Vorlagenverzeichnis wurde nicht geändert.",
    "Die Installation wurde abgebrochen. Das Vorlagenverzeichnis wurde nicht geändert.",
    "Ausgewähltes Verzeichnis:",
    "Auswählen",
    "Abbrechen",
    "Willkommen beim Installationsprogramm des Produkts",
    "Das Installationsverzeichnis enthält Dateien, die während der Installation geändert werden "
    "können. Möchten Sie fortfahren?",
    "Geben Sie den Pfad zum Vorlagenverzeichnis an. Das Installationsprogramm installiert die "
    "Vorlagen und Konfigurationsdateien in das angegebene Verzeichnis.",
    "Vorlagenverzeichnis:",
}};
static_assert(IsWellFormed(kGerman));

// Spanish
constexpr TextSet kSpanish = {{
    "< Atrás",
    "Avanzar >",
    "Finalizar",
    "Cancelar",
    "¿Realmente desea cancelar la instalación?",
    "Instalación de la configuración",
    "Preparando la copia...",
    "Error de instalación",
    "No se encontró el archivo del kit de distribución ordx.dkt.",
    "No se admite la instalación de plantillas en el directorio actual.",
    "No hay suficiente espacio disponible en el directorio temporal (Temp).",
    "&Carpeta:",
    "Seleccionar directorio",
    "Instalación de la configuración",
    "Especifique una ruta correcta al directorio de plantillas.",
    "Copia completada...",
    "El archivo del kit de distribución ordx.dkt está dañado o no está diseñado para este "
    "programa de instalación.",
    "<Producto>",
    "<Proveedor>",
    "La configuración se instaló correctamente.",
    "Abrir la descripción del kit de distribución",
    "Copiando archivos...",
    "Se produjo un error durante el proceso de instalación. Instalación cancelada. El directorio "
    "de plantillas no se ha modificado.",
    "Instalación cancelada. El directorio de plantillas no se ha modificado.",
    "Directorio seleccionado:",
    "Seleccionar",
    "Cancelar",
    "Bienvenido al programa de instalación del producto",
    "El directorio de instalación contiene archivos que pueden modificarse durante el proceso de "
    "instalación. ¿Desea continuar?",
    "Especifique la ruta al directorio de plantillas. El programa de instalación instalará las "
    "plantillas y los archivos de configuración en el directorio especificado.",
    "Directorio de plantillas:",
}};
static_assert(IsWellFormed(kSpanish));

// Hungarian
constexpr TextSet kHungarian = {{
    "< Vissza",
    "Tovább >",
    "Befejezés",
    "Mégse",
    "Biztosan megszakítja a telepítést?",
    "Konfiguráció telepítése",
    "Másolás előkészítése...",
    "Telepítési hiba",
    "Az ordx.dkt telepítőcsomag-fájl nem található.",
    "A sablonok telepítése az aktuális könyvtárba nem támogatott.",
    "Nincs elegendő szabad hely az ideiglenes könyvtárban (Temp).",
    "&Mappa:",
    "Könyvtár kiválasztása",
    "Konfiguráció telepítése",
    "Adja meg a sablonkönyvtár helyes elérési útját.",
    "A másolás befejeződött...",
    "Az ordx.dkt telepítőcsomag-fájl sérült, vagy nem ehhez a telepítőprogramhoz készült.",
    "<Termék>",
    "<Forgalmazó>",
    "A konfiguráció telepítése sikeresen befejeződött.",
    "A telepítőcsomag leírásának megnyitása",
    "Fájlok másolása...",
    "Hiba történt a telepítés során. A telepítés megszakadt. A sablonkönyvtár nem változott.",
    "A telepítés megszakadt. A sablonkönyvtár nem változott.",
    "Kiválasztott könyvtár:",
    "Kiválasztás",
    "Mégse",
    "Üdvözöljük a termék telepítőprogramjában",
    "A telepítési könyvtár olyan fájlokat tartalmaz, amelyek a telepítés során módosulhatnak. "
    "Folytatja?",
    "Adja meg a sablonkönyvtár elérési útját. A telepítőprogram a megadott könyvtárba telepíti a "
    "sablonokat és a konfigurációs fájlokat.",
    "Sablonkönyvtár:",
}};
static_assert(IsWellFormed(kHungarian));

// Italian
constexpr TextSet kItalian = {{
    "< Indietro",
    "Avanti >",
    "Fine",
    "Annulla",
    "Annullare davvero l'installazione?",
    "Installazione della configurazione",
    "Preparazione della copia...",
    "Errore di installazione",
    "File del pacchetto di distribuzione ordx.dkt non trovato.",
    "L'installazione dei modelli nella directory corrente non è supportata.",
    "Spazio insufficiente nella directory temporanea (Temp).",
    "&Cartella:",
    "Seleziona directory",
    "Installazione della configurazione",
    "Specificare un percorso valido per la directory dei modelli.",
    "Copia completata...",
    "Il file del pacchetto di distribuzione ordx.dkt è danneggiato o non è destinato a questo "
    "programma di installazione.",
    "<Prodotto>",
    "<Fornitore>",
    "Configurazione installata correttamente.",
    "Apri la descrizione del pacchetto di distribuzione",
    "Copia dei file in corso...",
    "Si è verificato un errore durante l'installazione. Installazione annullata. La directory dei "
    "modelli non è stata modificata.",
    "Installazione annullata. La directory dei modelli non è stata modificata.",
    "Directory selezionata:",
    "Seleziona",
    "Annulla",
    "Benvenuti nel programma di installazione del prodotto",
    "La directory di installazione contiene file che potrebbero essere modificati durante "
    "l'installazione. Continuare?",
    "Specificare il percorso della directory dei modelli. Il programma di installazione "
    "installerà i modelli e i file di configurazione nella directory specificata.",
    "Directory dei modelli:",
}};
static_assert(IsWellFormed(kItalian));

// Kazakh
constexpr TextSet kKazakh = {{
    "< Артқа",
    "Келесі >",
    "Аяқтау",
    "Бас тарту",
    "Орнатудан шынымен бас тартқыңыз келе ме?",
    "Конфигурацияны орнату",
    "Көшіруге дайындық...",
    "Орнату қатесі",
    "ordx.dkt дистрибутив файлы табылмады.",
    "Үлгілерді ағымдағы каталогқа орнатуға қолдау көрсетілмейді.",
    "Уақытша каталогта (Temp) бос орын жеткіліксіз.",
    "&Бума:",
    "Каталогты таңдау",
    "Конфигурацияны орнату",
    "Үлгілер каталогына дұрыс жолды көрсетіңіз.",
    "Көшіру аяқталды...",
    "ordx.dkt дистрибутив файлы зақымдалған немесе осы орнату бағдарламасына арналмаған.",
    "<Өнім>",
    "<Жеткізуші>",
    "Конфигурация сәтті орнатылды.",
    "Дистрибутив сипаттамасын ашу",
    "Файлдар көшірілуде...",
    "Орнату барысында қате орын алды. Орнату тоқтатылды. Үлгілер каталогы өзгертілмеді.",
    "Орнату тоқтатылды. Үлгілер каталогы өзгертілмеді.",
    "Таңдалған каталог:",
    "Таңдау",
    "Бас тарту",
    "Өнімді орнату бағдарламасына қош келдіңіз",
    "Орнату каталогында орнату барысында өзгертілуі мүмкін файлдар бар. Жалғастырасыз ба?",
    "Үлгілер каталогына жолды көрсетіңіз. Орнату бағдарламасы үлгілер мен конфигурация файлдарын "
    "көрсетілген каталогқа орнатады.",
    "Үлгілер каталогы:",
}};
static_assert(IsWellFormed(kKazakh));

// Latvian
constexpr TextSet kLatvian = {{
    "< Atpakaļ",
    "Tālāk >",
    "Pabeigt",
    "Atcelt",
    "Vai tiešām vēlaties atcelt instalēšanu?",
    "Konfigurācijas instalēšana",
    "Sagatavošanās kopēšanai...",
    "Instalēšanas kļūda",
    "Distribūcijas komplekta fails ordx.dkt netika atrasts.",
    "Veidņu instalēšana pašreizējā direktorijā netiek atbalstīta.",
    "Pagaidu direktorijā (Temp) nepietiek brīvas vietas.",
    "&Mape:",
    "Direktorija izvēle",
    "Konfigurācijas instalēšana",
    "Norādiet pareizu ceļu uz veidņu direktoriju.",
    "Kopēšana pabeigta...",
    "Distribūcijas komplekta fails ordx.dkt ir bojāts vai nav paredzēts šai instalēšanas "
    "programmai.",
    "<Produkts>",
    "<Piegādātājs>",
    "Konfigurācija ir veiksmīgi instalēta.",
    "Atvērt distribūcijas komplekta aprakstu",
    "Notiek failu kopēšana...",
    "Instalēšanas laikā radās kļūda. Instalēšana atcelta. Veidņu direktorijs nav mainīts.",
    "Instalēšana atcelta. Veidņu direktorijs nav mainīts.",
    "Izvēlētais direktorijs:",
    "Izvēlēties",
    "Atcelt",
    "Laipni lūdzam produkta instalēšanas programmā",
    "Instalēšanas direktorijā ir faili, kurus instalēšanas laikā var mainīt. Vai vēlaties "
    "turpināt?",
    "Norādiet ceļu uz veidņu direktoriju. Instalēšanas programma instalēs veidnes un "
    "konfigurācijas failus norādītajā direktorijā.",
    "Veidņu direktorijs:",
}};
static_assert(IsWellFormed(kLatvian));

// Lithuanian
constexpr TextSet kLithuanian = {{
    "< Atgal",
    "Toliau >",
    "Baigti",
    "Atšaukti",
    "Ar tikrai norite atšaukti diegimą?",
    "Konfigūracijos diegimas",
    "Ruošiamasi kopijuoti...",
    "Diegimo klaida",
    "Distribucinio paketo failas ordx.dkt nerastas.",
    "Šablonų diegimas į dabartinį katalogą nepalaikomas.",
    "Laikinajame kataloge (Temp) nepakanka laisvos vietos.",
    "&Aplankas:",
    "Katalogo pasirinkimas",
    "Konfigūracijos diegimas",
    "Nurodykite teisingą kelią į šablonų katalogą.",
    "Kopijavimas baigtas...",
    "Distribucinio paketo failas ordx.dkt sugadintas arba neskirtas šiai diegimo programai.",
    "<Produktas>",
    "<Tiekėjas>",
    "Konfigūracija sėkmingai įdiegta.",
    "Atverti distribucinio paketo aprašą",
    "Kopijuojami failai...",
    "Diegimo metu įvyko klaida. Diegimas atšauktas. Šablonų katalogas nepakeistas.",
    "Diegimas atšauktas. Šablonų katalogas nepakeistas.",
    "Pasirinktas katalogas:",
    "Pasirinkti",
    "Atšaukti",
    "Sveiki atvykę į produkto diegimo programą",
    "Diegimo kataloge yra failų, kurie diegimo metu gali būti pakeisti. Ar norite tęsti?",
    "Nurodykite kelią į šablonų katalogą. Diegimo programa įdiegs šablonus ir konfigūracijos "
    "failus į nurodytą katalogą.",
    "Šablonų katalogas:",
}};
static_assert(IsWellFormed(kLithuanian));

// Polish
constexpr TextSet kPolish = {{
    "< Wstecz",
    "Dalej >",
    "Zakończ",
    "Anuluj",
    "Czy na pewno chcesz anulować instalację?",
    "Instalacja konfiguracji",
    "Przygotowywanie do kopiowania...",
    "Błąd instalacji",
    "Nie znaleziono pliku pakietu dystrybucyjnego ordx.dkt.",
    "Instalacja szablonów w bieżącym katalogu nie jest obsługiwana.",
    "Za mało miejsca w katalogu tymczasowym (Temp).",
    "&Folder:",
    "Wybór katalogu",
    "Instalacja konfiguracji",
    "Podaj prawidłową ścieżkę do katalogu szablonów.",
    "Kopiowanie zakończone...",
    "Plik pakietu dystrybucyjnego ordx.dkt jest uszkodzony lub nie jest przeznaczony dla tego "
    "programu instalacyjnego.",
    "<Produkt>",
    "<Dostawca>",
    "Konfiguracja została pomyślnie zainstalowana.",
    "Otwórz opis pakietu dystrybucyjnego",
    "Kopiowanie plików...",
    "Podczas instalacji wystąpił błąd. Instalacja została anulowana. Katalog szablonów nie został "
    "zmieniony.",
    "Instalacja została anulowana. Katalog szablonów nie został zmieniony.",
    "Wybrany katalog:",
    "Wybierz",
    "Anuluj",
    "Witamy w programie instalacyjnym produktu",
    "Katalog instalacji zawiera pliki, które mogą zostać zmienione podczas instalacji. Czy chcesz "
    "kontynuować?",
    "Podaj ścieżkę do katalogu szablonów. Program instalacyjny zainstaluje szablony i pliki "
    "konfiguracyjne w podanym katalogu.",
    "Katalog szablonów:",
}};
static_assert(IsWellFormed(kPolish));

// Romanian
constexpr TextSet kRomanian = {{
    "< Înapoi",
    "Înainte >",
    "Finalizare",
    "Anulare",
    "Sigur doriți să anulați instalarea?",
    "Instalarea configurației",
    "Pregătire pentru copiere...",
    "Eroare de instalare",
    "Fișierul pachetului de distribuție ordx.dkt nu a fost găsit.",
    "Instalarea șabloanelor în directorul curent nu este acceptată.",
    "Spațiu insuficient în directorul temporar (Temp).",
    "&Dosar:",
    "Selectare director",
    "Instalarea configurației",
    "Specificați o cale corectă către directorul de șabloane.",
    "Copiere finalizată...",
    "Fișierul pachetului de distribuție ordx.dkt este deteriorat sau nu este destinat acestui "
    "program de instalare.",
    "<Produs>",
    "<Furnizor>",
    "Configurația a fost instalată cu succes.",
    "Deschide descrierea pachetului de distribuție",
    "Se copiază fișierele...",
    "A apărut o eroare în timpul instalării. Instalarea a fost anulată. Directorul de șabloane nu "
    "a fost modificat.",
    "Instalarea a fost anulată. Directorul de șabloane nu a fost modificat.",
    "Director selectat:",
    "Selectare",
    "Anulare",
    "Bun venit în programul de instalare a produsului",
    "Directorul de instalare conține fișiere care pot fi modificate în timpul instalării. Doriți "
    "să continuați?",
    "Specificați calea către directorul de șabloane. Programul de instalare va instala șabloanele "
    "și fișierele de configurare în directorul specificat.",
    "Director de șabloane:",
}};
static_assert(IsWellFormed(kRomanian));

// Russian
constexpr TextSet kRussian = {{
    "< Назад",
    "Далее >",
    "Готово",
    "Отмена",
    "Вы действительно хотите прервать установку?",
    "Установка конфигурации",
    "Подготовка к копированию...",
    "Ошибка установки",
    "Файл дистрибутива ordx.dkt не найден.",
    "Установка шаблонов в текущий каталог не поддерживается.",
    "Недостаточно места во временном каталоге (Temp).",
    "&Папка:",
    "Выбор каталога",
    "Установка конфигурации",
    "Укажите правильный путь к каталогу шаблонов.",
    "Копирование завершено...",
    "Файл дистрибутива ordx.dkt повреждён или не предназначен для этой программы установки.",
    "<Продукт>",
    "<Поставщик>",
    "Конфигурация успешно установлена.",
    "Открыть описание дистрибутива",
    "Копирование файлов...",
    "Во время установки произошла ошибка. Установка прервана. Каталог шаблонов не изменён.",
    "Установка прервана. Каталог шаблонов не изменён.",
    "Выбранный каталог:",
    "Выбрать",
    "Отмена",
    "Добро пожаловать в программу установки продукта",
    "Каталог установки содержит файлы, которые могут быть изменены в процессе установки. "
    "Продолжить?",
    "Укажите путь к каталогу шаблонов. Программа установки установит шаблоны и файлы конфигурации "
    "в указанный каталог.",
    "Каталог шаблонов:",
}};
static_assert(IsWellFormed(kRussian));

// Turkish
constexpr TextSet kTurkish = {{
    "< Geri",
    "İleri >",
    "Son",
    "İptal",
    "Kurulumu gerçekten iptal etmek istiyor musunuz?",
    "Yapılandırma kurulumu",
    "Kopyalamaya hazırlanıyor...",
    "Kurulum hatası",
    "Dağıtım paketi dosyası ordx.dkt bulunamadı.",
    "Şablonların geçerli dizine kurulması desteklenmiyor.",
    "Geçici dizinde (Temp) yeterli boş alan yok.",
    "&Klasör:",
    "Dizin Seç",
    "Yapılandırma kurulumu",
    "Şablon dizininin doğru yolunu belirtin.",
    "Kopyalama tamamlandı...",
    "Dağıtım paketi dosyası ordx.dkt bozuk veya bu kurulum programı için tasarlanmamış.",
    "<Ürün>",
    "<Satıcı>",
    "Yapılandırma başarıyla kuruldu.",
    "Dağıtım paketinin açıklamasını aç",
    "Dosyalar kopyalanıyor...",
    "Kurulum sırasında bir hata oluştu. Kurulum iptal edildi. Şablon dizini değiştirilmedi.",
    "Kurulum iptal edildi. Şablon dizini değiştirilmedi.",
    "Seçilen dizin:",
    "Seç",
    "İptal",
    "Ürün kurulum programına hoş geldiniz",
    "Kurulum dizini, kurulum sırasında değiştirilebilecek dosyalar içeriyor. Devam etmek istiyor "
    "musunuz?",
    "Şablon dizininin yolunu belirtin. Kurulum programı şablonları ve yapılandırma dosyalarını "
    "belirtilen dizine kuracak.",
    "Şablon dizini:",
}};
static_assert(IsWellFormed(kTurkish));

// Ukrainian
constexpr TextSet kUkrainian = {{
    "< Назад",
    "Далі >",
    "Готово",
    "Відміна",
    "Ви дійсно бажаєте скасувати встановлення?",
    "Встановлення конфігурації",
    "Підготовка до копіювання...",
    "Помилка встановлення",
    "Файл дистрибутива ordx.dkt не знайдено.",
    "Встановлення шаблонів до поточного каталогу не підтримується.",
    "Недостатньо місця в тимчасовому каталозі (Temp).",
    "&Папка:",
    "Вибір каталогу",
    "Встановлення конфігурації",
    "Вкажіть правильний шлях до каталогу шаблонів.",
    "Копіювання завершено...",
    "Файл дистрибутива ordx.dkt пошкоджено або він не призначений для цієї програми встановлення.",
    "<Продукт>",
    "<Постачальник>",
    "Конфігурацію успішно встановлено.",
    "Відкрити опис дистрибутива",
    "Копіювання файлів...",
    "Під час встановлення сталася помилка. Встановлення скасовано. Каталог шаблонів не змінено.",
    "Встановлення скасовано. Каталог шаблонів не змінено.",
    "Вибраний каталог:",
    "Вибрати",
    "Відміна",
    "Ласкаво просимо до програми встановлення продукту",
    "Каталог встановлення містить файли, які можуть бути змінені під час встановлення. Продовжити?",
    "Вкажіть шлях до каталогу шаблонів. Програма встановлення встановить шаблони та файли "
    "конфігурації до вказаного каталогу.",
    "Каталог шаблонів:",
}};
static_assert(IsWellFormed(kUkrainian));

// Vietnamese
constexpr TextSet kVietnamese = {{
    "< Quay lại",
    "Tiếp >",
    "Hoàn tất",
    "Hủy",
    "Bạn có thực sự muốn hủy cài đặt không?",
    "Cài đặt cấu hình",
    "Đang chuẩn bị sao chép...",
    "Lỗi cài đặt",
    "Không tìm thấy tệp gói phân phối ordx.dkt.",
    "Không hỗ trợ cài đặt mẫu vào thư mục hiện tại.",
    "Không đủ dung lượng trống trong thư mục tạm (Temp).",
    "&Thư mục:",
    "Chọn thư mục",
    "Cài đặt cấu hình",
    "Hãy chỉ định đường dẫn đúng đến thư mục mẫu.",
    "Đã sao chép xong...",
    "Tệp gói phân phối ordx.dkt bị hỏng hoặc không dành cho chương trình cài đặt này.",
    "<Sản phẩm>",
    "<Nhà cung cấp>",
    "Đã cài đặt cấu hình thành công.",
    "Mở mô tả gói phân phối",
    "Đang sao chép tệp...",
    "Đã xảy ra lỗi trong quá trình cài đặt. Đã hủy cài đặt. Thư mục mẫu không bị thay đổi.",
    "Đã hủy cài đặt. Thư mục mẫu không bị thay đổi.",
    "Thư mục đã chọn:",
    "Chọn",
    "Hủy",
    "Chào mừng bạn đến với chương trình cài đặt sản phẩm",
    "Thư mục cài đặt chứa các tệp có thể bị thay đổi trong quá trình cài đặt. Bạn có muốn tiếp "
    "tục không?",
    "Hãy chỉ định đường dẫn đến thư mục mẫu. Chương trình cài đặt sẽ cài đặt các mẫu và tệp cấu "
    "hình vào thư mục đã chỉ định.",
    "Thư mục mẫu:",
}};
static_assert(IsWellFormed(kVietnamese));

// Turkmen
constexpr TextSet kTurkmen = {{
    "< Yza",
    "Indiki >",
    "Tamamla",
    "Ýatyr",
    "Gurnamany hakykatdanam ýatyrmak isleýärsiňizmi?",
    "Konfigurasiýany gurnamak",
    "Göçürmäge taýýarlanylýar...",
    "Gurnama ýalňyşlygy",
    "ordx.dkt paýlama toplumynyň faýly tapylmady.",
    "Şablonlary häzirki kataloga gurnamak goldanylmaýar.",
    "Wagtlaýyn katalogda (Temp) ýeterlik boş ýer ýok.",
    "&Bukja:",
    "Katalog saýlamak",
    "Konfigurasiýany gurnamak",
    "Şablonlar katalogyna dogry ýoly görkeziň.",
    "Göçürmek tamamlandy...",
    "ordx.dkt paýlama toplumynyň faýly zeperlenen ýa-da bu gurnama maksatnamasy üçin "
    "niýetlenmedik.",
    "<Önüm>",
    "<Üpjün ediji>",
    "Konfigurasiýa üstünlikli gurnaldy.",
    "Paýlama toplumynyň beýanyny açmak",
    "Faýllar göçürilýär...",
    "Gurnama wagtynda ýalňyşlyk ýüze çykdy. Gurnama ýatyryldy. Şablonlar katalogy üýtgedilmedi.",
    "Gurnama ýatyryldy. Şablonlar katalogy üýtgedilmedi.",
    "Saýlanan katalog:",
    "Saýla",
    "Ýatyr",
    "Önümiň gurnama maksatnamasyna hoş geldiňiz",
    "Gurnama katalogynda gurnama wagtynda üýtgedilip bilinjek faýllar bar. Dowam etmek "
    "isleýärsiňizmi?",
    "Şablonlar katalogyna ýoly görkeziň. Gurnama maksatnamasy şablonlary we konfigurasiýa "
    "faýllaryny görkezilen kataloga gurnar.",
    "Şablonlar katalogy:",
}};
static_assert(IsWellFormed(kTurkmen));

// Greek
constexpr TextSet kGreek = {{
    "< Πίσω",
    "Εμπρός >",
    "Τέλος",
    "Άκυρο",
    "Θέλετε σίγουρα να ακυρώσετε την εγκατάσταση;",
    "Εγκατάσταση διαμόρφωσης",
    "Προετοιμασία αντιγραφής...",
    "Σφάλμα εγκατάστασης",
    "Το αρχείο του πακέτου διανομής ordx.dkt δεν βρέθηκε.",
    "Η εγκατάσταση προτύπων στον τρέχοντα κατάλογο δεν υποστηρίζεται.",
    "Δεν υπάρχει αρκετός ελεύθερος χώρος στον προσωρινό κατάλογο (Temp).",
    "&Φάκελος:",
    "Επιλογή καταλόγου",
    "Εγκατάσταση διαμόρφωσης",
    "Καθορίστε μια σωστή διαδρομή προς τον κατάλογο προτύπων.",
    "Η αντιγραφή ολοκληρώθηκε...",
    "Το αρχείο του πακέτου διανομής ordx.dkt είναι κατεστραμμένο ή δεν προορίζεται για αυτό το "
    "πρόγραμμα εγκατάστασης.",
    "<Προϊόν>",
    "<Προμηθευτής>",
    "Η διαμόρφωση εγκαταστάθηκε με επιτυχία.",
    "Άνοιγμα περιγραφής του πακέτου διανομής",
    "Αντιγραφή αρχείων...",
    "Παρουσιάστηκε σφάλμα κατά τη διαδικασία εγκατάστασης. Η εγκατάσταση ακυρώθηκε. Ο κατάλογος "
    "προτύπων δεν άλλαξε.",
    "Η εγκατάσταση ακυρώθηκε. Ο κατάλογος προτύπων δεν άλλαξε.",
    "Επιλεγμένος κατάλογος:",
    "Επιλογή",
    "Άκυρο",
    "Καλώς ορίσατε στο πρόγραμμα εγκατάστασης του προϊόντος",
    "Ο κατάλογος εγκατάστασης περιέχει αρχεία που ενδέχεται να αλλάξουν κατά τη διαδικασία "
    "εγκατάστασης. Θέλετε να συνεχίσετε;",
    "Καθορίστε τη διαδρομή προς τον κατάλογο προτύπων. Το πρόγραμμα εγκατάστασης θα εγκαταστήσει "
    "τα πρότυπα και τα αρχεία διαμόρφωσης στον καθορισμένο κατάλογο.",
    "Κατάλογος προτύπων:",
}};
static_assert(IsWellFormed(kGreek));

}  // namespace

// Spanish stands twice (9 and 18) on the same set; Arabic shows the English texts;
// Greek was added last, as 24.
const LanguageRow kLanguageRows[] = {
    {1, "hy", &kArmenian},
    {2, "az", &kAzerbaijani},
    {3, "bg", &kBulgarian},
    {4, "zh", &kChinese},
    {5, "en", &kEnglish},
    {6, "fr", &kFrench},
    {7, "ka", &kGeorgian},
    {8, "de", &kGerman},
    {9, "es", &kSpanish},
    {10, "hu", &kHungarian},
    {11, "it", &kItalian},
    {12, "kk", &kKazakh},
    {13, "lv", &kLatvian},
    {14, "lt", &kLithuanian},
    {15, "pl", &kPolish},
    {16, "ro", &kRomanian},
    {17, "ru", &kRussian},
    {18, "es", &kSpanish},
    {19, "tr", &kTurkish},
    {20, "uk", &kUkrainian},
    {21, "vi", &kVietnamese},
    {22, "ar", &kEnglish},
    {23, "tk", &kTurkmen},
    {24, "el", &kGreek},
};

const std::size_t kLanguageRowCount = std::size(kLanguageRows);

}  // namespace ordx
